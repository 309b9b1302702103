#pragma once
// The main window's placement in the per-user store: its outer position and size and the widths of
// the grid's first eight columns, each as a text value formatted "%4d".

#include <functional>
#include <memory>
#include <optional>

class QSettings;
class QTableView;
class QWidget;

// The window's outer position and size and the widths of the grid's first eight columns (the main
// window passes itself and its LineGrid). Both return 1 when they ran to their end, 0 when the store
// could not be opened (after the "Error creating/opening the key" box) or, for the restore, when
// WinX ended it.
int SavePlacement(QWidget& window, QTableView& grid);
int RestorePlacement(QWidget& window, QTableView& grid);

// Gives a top-level window this outer size, frame included: now, by the frame it has, and again once
// the frame of a window not yet shown is known. A side not given keeps the size asked for before.
void SetOuterSize(QWidget& window, std::optional<int> width, std::optional<int> height);

// Reads the text value name from store into value. A value that is missing or holds 80 bytes or more
// is first replaced by defaultText, which is then converted instead. Returns 0, or -1 after the
// "Error RegSetValueEx" box when the default could not be written; value is then left as it was.
int ReadOrCreateValue(QSettings& store, const char* name, const char* defaultText, int& value);

// Where the placement lives. The program uses the native per-user store of Halverdon/Quorvane (the
// registry on Windows, ~/.config/Halverdon/Quorvane.conf elsewhere); tests point it at a scratch
// file. An empty function restores the native store.
using PlacementStore = std::function<std::unique_ptr<QSettings>()>;
void SetPlacementStore(PlacementStore store);

// The same store for the operator's tools, which keep their choices in groups of their own beside
// the placement values; null, with no box, when it cannot be opened: a tool then keeps its choices
// for this run only.
std::unique_ptr<QSettings> OpenPlacementStore();
