#pragma once
// The About dialog: the program's name and version and two links, to the maker's web page and to
// its support address.

#include "app/Design.h"
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QUrl;

inline constexpr char kWebAddress[] = "http://www.halverdon.example/Mirrak";
inline constexpr char kSupportAddress[] = "support@halverdon.example";

class TForm2 : public TDesignDialog {
    Q_OBJECT
public:
    // Creating the dialog runs FormCreate.
    explicit TForm2(QWidget* parent = nullptr);

    // Components, named as in the dialog's design.
    QLabel* Image1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* VerLab = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* EnterButt = nullptr;

public slots:
    void Label5Click();
    void Label8Click();
    void EnterButtClick();

private:
    void FormCreate();
};

extern TForm2* Form2;

// How the links are opened: by default the desktop's own handler (the browser, the mail program);
// its result is not looked at. Tests install a recorder. An empty function restores the default.
using UrlOpener = std::function<void(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);
