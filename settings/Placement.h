#pragma once
// The main window's placement in the per-user store.

class TForm1;

int SavePlacement(TForm1& form);
int RestorePlacement(TForm1& form);
