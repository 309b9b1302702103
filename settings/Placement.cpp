#include "settings/Placement.h"

int SavePlacement(TForm1&)
{
    return 0;
}

int RestorePlacement(TForm1&)
{
    return 0;
}
