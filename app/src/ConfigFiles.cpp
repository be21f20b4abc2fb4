#include "app/ConfigFiles.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include "toolkit/ZnBoundedXml.h"

namespace {

// The text of one table cell. Cells are elements; any other node has no text.
QString cellText(const QDomNodeList& cells, int index) { return cells.at(index).toElement().text(); }

// The table comes from a server: a file beyond the size and depth bounds is
// refused like a malformed one, before the DOM parser could crash on it.
bool parse(QFile& file, QDomDocument& document) {
    ZnBoundedXml::Error error;
    if (ZnBoundedXml::parse(file, document, &error)) return true;
    ZnBoundedXml::logError(error);
    return false;
}

}  // namespace

QString InstallerTablePath(const QString& appDir) {
    const QString downloaded = appDir + QStringLiteral("/iTunesDownloadUrl.xml");
    // Only a file counts: a folder of that name is no table.
    if (QFileInfo(downloaded).isFile()) return downloaded;
    return appDir + QStringLiteral("/iTunesDownloadUrlLocal.xml");
}

bool ReadInstallerTable(const QString& path, SInstallerTableState& state) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    QDomDocument document;
    if (!parse(file, document)) {
        file.close();
        return false;
    }

    // URL and hash columns of the installed bitness.
    const int urlColumn = state.nVersionBit == 64 ? 3 : 1;
    const int hashColumn = urlColumn + 1;

    const QDomElement root = document.documentElement();
    for (QDomElement version = root.firstChildElement(QStringLiteral("iTunesVersion")); !version.isNull();
         version = version.nextSiblingElement(QStringLiteral("iTunesVersion"))) {
        // Entries are counted among all child nodes: a comment before the first
        // entry means there is no latest installer in this element.
        const QDomNodeList entries = version.childNodes();
        for (int j = 0; j < entries.count(); ++j) {
            const QDomNode entry = entries.at(j);
            if (!entry.isElement() || entry.toElement().tagName() != QLatin1String("iTunesUrl")) continue;
            const QDomNodeList cells = entry.childNodes();
            if (cells.count() != 5) continue;
            // The version is compared exactly as it stands; addresses and hashes
            // are taken without the white space of a pretty-printed file.
            const QString entryVersion = cellText(cells, 0);
            const QString url = cellText(cells, urlColumn).trimmed();
            const QString hash = cellText(cells, hashColumn).trimmed();

            if (state.bIsDownloadLastVersion && j == 0) {
                state.bIsNotFindCurrentVersion = true;
                state.strVersion = entryVersion;
            }
            if (j == 0) {
                state.strLastVersion = entryVersion;
                state.strLastDownloadUrl = url;
                state.strLastDownloadHash = hash;
            }
            if (entryVersion == state.strVersion) {
                state.bIsNotFindCurrentVersion = false;
                state.strDownloadUrl = url;
                state.strDownloadHash = hash;
            }
            if (entryVersion == QLatin1String("iTunesComponentInformationUrl"))
                state.strComponentInformationUrl = cellText(cells, 1).trimmed();
        }
    }
    file.close();
    return true;
}
