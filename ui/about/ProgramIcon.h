#pragma once

class QPainter;

// Paints the program's icon into the square (0, 0, size, size): a motor face on a blue tile.
// QtGui only, so the build can render the installed icon files without a window system.
void DrawProgramIcon(QPainter& painter, int size);
