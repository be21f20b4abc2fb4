#include "updater/UpdateChecks.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

bool isDottedDecimal(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    return form.match(text).hasMatch();
}

// Compares two runs of decimal digits by value, whatever their length.
int compareNumbers(QString a, QString b) {
    while (a.size() > 1 && a.startsWith(QLatin1Char('0'))) a.remove(0, 1);
    while (b.size() > 1 && b.startsWith(QLatin1Char('0'))) b.remove(0, 1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return QString::compare(a, b);
}

}  // namespace

bool isOlderVersion(const QString& installed, const QString& offered) {
    const QString a = installed.trimmed();
    const QString b = offered.trimmed();
    // The server's line end counts as little here as for dotted versions: the
    // same build with a line end is not newer.
    if (!isDottedDecimal(a) || !isDottedDecimal(b)) return a < b;
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (int i = 0; i < qMax(left.size(), right.size()); ++i) {
        const int order = compareNumbers(left.value(i, QStringLiteral("0")), right.value(i, QStringLiteral("0")));
        if (order != 0) return order < 0;
    }
    return false;
}

bool digestMatches(const QString& localDigest, const QString& serverDigest) {
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{40}$"));
    const QString server = serverDigest.trimmed();
    if (localDigest.isNull() || !form.match(server).hasMatch()) return false;
    return QString::compare(localDigest, server, Qt::CaseInsensitive) == 0;
}
