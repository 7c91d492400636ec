#pragma once

// The program's window as the end-to-end tests meet it on a private
// desktop: where its grids' cells lie in the window, and the screen read
// back as a student would see it.

#include "tests/e2e/desktopsession.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

inline const QString WindowTitle = QStringLiteral("Quiralto - Versão 1.0");
constexpr QSize WindowSize(981, 479);
// Where the window's client area stands on a desktop without a window
// manager: where the window places itself.
constexpr QPoint WindowOrigin(196, 107);

// The three grids, StringGrid1 to StringGrid3, from the top.
constexpr int Natural = 0;
constexpr int Harmonic = 1;
constexpr int Melodic = 2;
constexpr int GridCount = 3;
constexpr int ColumnCount = 13;
constexpr int HeadingRow = 0;
constexpr int ChordRow = 1;

// Window coordinates of a grid's cell: each grid has a 2-pixel border, and
// its cells follow each other every 74 pixels across and 25 down.
QRect cellRect(int grid, int col, int row);
QRect headingRowRect(int grid);
QRect chordRowRect(int grid);
// The cells of a grid, without its border.
QRect cellAreaRect(int grid);

// Window coordinates of a scale form's player, MediaPlayer1 to MediaPlayer3.
QRect playerRect(int form);
// Whether the player shows its coloured glyph, its Play available, in
// \a screen with the window's client area at \a origin.
bool isPlayAvailable(const QImage &screen, int form, QPoint origin = WindowOrigin);

// Dark pixels in \a area of \a image, in the image's own coordinates.
int inkIn(const QImage &image, const QRect &area);

// Takes screenshots until one satisfies \a wanted, or the time is up;
// returns the last one either way.
QImage screenWhen(const DesktopSession &desktop, const std::function<bool(const QImage &)> &wanted,
                  int timeoutMs);

// Keeps \a image in \a folder, to be looked at when a check fails or the
// look is in doubt.
void saveImage(const QImage &image, const QString &folder, const QString &name);
