// The channel menu of the logic view: channel enables, glitch filter, row
// heights and the reset of every row.
#include "view/MainView.h"

// ---------------------------------------------------------------- channel menu

void MainView::slotChnSetMenu()
{
    // The channel menu (enables, heights, reset) is built on first use.
}

void MainView::slotChnMove(int, int, int)
{
    // Rows report no drags as built (their number labels are not movable).
}
