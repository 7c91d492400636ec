#include "app/applicationtitle.h"

namespace quiralto::app {

QString applicationTitle(const QString &programFile)
{
    QString name = programFile.section(QLatin1Char('/'), -1);
    name.truncate(name.indexOf(QLatin1Char('.')) < 0 ? name.size() : name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}

} // namespace quiralto::app
