#include "tests/e2e/programscreen.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

QRect cellRect(int grid, int col, int row)
{
    const QPoint gridOrigin(8, 104 + 128 * grid);
    return QRect(gridOrigin + QPoint(2 + 74 * col, 2 + 25 * row), QSize(73, 24));
}

QRect headingRowRect(int grid)
{
    return cellRect(grid, 0, HeadingRow).united(cellRect(grid, ColumnCount - 1, HeadingRow));
}

QRect chordRowRect(int grid)
{
    return cellRect(grid, 0, ChordRow).united(cellRect(grid, ColumnCount - 1, ChordRow));
}

QRect cellAreaRect(int grid)
{
    return QRect(cellRect(grid, 0, HeadingRow).topLeft(), QSize(961, 49));
}

QRect playerRect(int form)
{
    return QRect(72, 72 + 128 * form, 29, 30);
}

// The coloured glyph is the only bright green the window ever shows.
bool isPlayAvailable(const QImage &screen, int form, QPoint origin)
{
    const QRect area = playerRect(form).translated(origin);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (screen.valid(x, y) && screen.pixel(x, y) == qRgb(0, 255, 0))
                return true;
        }
    }
    return false;
}

int inkIn(const QImage &image, const QRect &area)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 128;
    return ink;
}

QImage screenWhen(const DesktopSession &desktop, const std::function<bool(const QImage &)> &wanted, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QImage screen = desktop.screenshot();
    while (!screen.isNull() && !wanted(screen) && !deadline.hasExpired()) {
        QThread::msleep(50);
        screen = desktop.screenshot();
    }
    return screen;
}

void saveImage(const QImage &image, const QString &folder, const QString &name)
{
    const QDir dir(folder);
    dir.mkpath(QStringLiteral("."));
    image.save(dir.filePath(QString(name).replace(u' ', u'-') + QStringLiteral(".png")));
}
