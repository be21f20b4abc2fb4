// Fuzzes the size and depth check before the DOM parse (ZnBoundedXml). What it
// must hold, whatever the bytes:
//   - it never recurses per nesting level: every parse runs on a thread with a
//     small stack, and some inputs are wrapped in 200000 open elements,
//     which a check that recursed would not survive;
//   - it never accepts what it must refuse: an accepted text is at most
//     kMaxBytes long and its tree (walked here without recursion) is at most
//     kMaxDepth deep; a text grown past kMaxBytes is refused;
//   - the depth it refuses for agrees with a depth counted here from the text
//     itself (a small scanner of its own), and so does the depth of an
//     accepted tree, for texts without a document type (whose entities could
//     hold markup the scanner does not expand).
// The first byte chooses how the rest is used: as it is, wrapped in deep
// nesting (one in 32), or padded with white space to one byte under, at
// or over kMaxBytes (one in 32, read from a device as well).
#include <pthread.h>

#include <QBuffer>
#include <QByteArray>
#include <QDomDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "toolkit/ZnBoundedXml.h"

namespace {

constexpr std::size_t kStackBytes = 1024 * 1024;
constexpr int kWrapLevels = 200000;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_bounded_xml: %s\n", what);
    std::abort();
}

// Depth of the element tree, walked with the DOM's own links (no recursion).
int treeDepth(const QDomDocument& document) {
    int depth = 0;
    int deepest = 0;
    QDomNode node = document.firstChild();
    while (!node.isNull()) {
        if (node.isElement()) deepest = std::max(deepest, depth + 1);
        if (node.hasChildNodes()) {
            if (node.isElement()) ++depth;
            node = node.firstChild();
            continue;
        }
        while (!node.isNull() && node.nextSibling().isNull()) {
            node = node.parentNode();
            if (node.isElement()) --depth;
        }
        if (!node.isNull()) node = node.nextSibling();
    }
    return deepest;
}

// Index of `what` in `text` from `from`, or the text's size.
int find(const QByteArray& text, const char* what, int from) {
    const int at = text.indexOf(what, from);
    return at < 0 ? text.size() : at;
}

bool startsAt(const QByteArray& text, int at, const char* what) {
    for (int i = 0; what[i] != '\0'; ++i)
        if (at + i >= text.size() || text.at(at + i) != what[i]) return false;
    return true;
}

// The deepest element nesting in the text, counted from its markup: "<name"
// opens (unless it ends "/>"), "</" closes; comments, CDATA sections,
// processing instructions and declarations hold no elements; quoted attribute
// values may hold ">". Exact for a well-formed text without a document type
// (and for the well-formed start of one).
int scannedDepth(const QByteArray& text) {
    int depth = 0;
    int deepest = 0;
    int i = 0;
    while (i < text.size()) {
        if (text.at(i) != '<') {
            i = text.indexOf('<', i);
            if (i < 0) break;
            continue;
        }
        if (startsAt(text, i, "<!--")) {
            i = find(text, "-->", i + 4) + 3;
        } else if (startsAt(text, i, "<![CDATA[")) {
            i = find(text, "]]>", i + 9) + 3;
        } else if (startsAt(text, i, "<?")) {
            i = find(text, "?>", i + 2) + 2;
        } else if (startsAt(text, i, "<!")) {
            i = find(text, ">", i + 2) + 1;
        } else if (startsAt(text, i, "</")) {
            --depth;
            i = find(text, ">", i + 2) + 1;
        } else {
            // A start tag: to its ">" outside quoted values.
            char quote = 0;
            int j = i + 1;
            for (; j < text.size(); ++j) {
                const char c = text.at(j);
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            const bool empty = j < text.size() && j > i + 1 && text.at(j - 1) == '/';
            deepest = std::max(deepest, depth + 1);
            if (!empty) ++depth;
            i = j + 1;
        }
    }
    return deepest;
}

struct Job {
    const QByteArray* xml = nullptr;
    bool fromDevice = false;
    bool accepted = false;
    int depth = 0;
    ZnBoundedXml::Error error;
};

void* runParse(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    QDomDocument document;
    if (job.fromDevice) {
        QByteArray copy = *job.xml;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        job.accepted = ZnBoundedXml::parse(buffer, document, &job.error);
    } else {
        job.accepted = ZnBoundedXml::parse(*job.xml, document, &job.error);
    }
    job.depth = job.accepted ? treeDepth(document) : 0;
    if (!job.accepted && !document.documentElement().isNull()) fail("a refused text left a document behind");
    return nullptr;
}

// The parse on a thread whose stack is kStackBytes.
Job parseOnSmallStack(const QByteArray& xml, bool fromDevice) {
    Job job;
    job.xml = &xml;
    job.fromDevice = fromDevice;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    pthread_t thread;
    if (pthread_create(&thread, &attributes, &runParse, &job) != 0) fail("no thread");
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return job;
}

void check(const Job& job, const QByteArray& xml, bool mustRefuse) {
    const bool typed = xml.contains("<!DOCTYPE");
    if (job.accepted) {
        if (mustRefuse) fail("accepted a text it must refuse");
        if (xml.size() > ZnBoundedXml::kMaxBytes) fail("accepted a text over the size bound");
        if (job.depth > ZnBoundedXml::kMaxDepth) fail("accepted a tree deeper than the bound");
        if (!typed && job.depth != scannedDepth(xml)) fail("the tree's depth differs from the text's");
    } else if (!mustRefuse && job.error.message.startsWith(QLatin1String("elements nested deeper")) && !typed &&
               scannedDepth(xml) <= ZnBoundedXml::kMaxDepth) {
        fail("refused for a depth the text does not have");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int mode = data[0] % 32;
    QByteArray xml(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    bool mustRefuse = false;
    if (mode == 0) {
        // Deep nesting around the input (its depth is known: no scan of it).
        xml = QByteArray("<a>").repeated(kWrapLevels) + xml + QByteArray("</a>").repeated(kWrapLevels);
        mustRefuse = true;
    } else if (mode == 1) {
        // White space after the text up to one byte under, at or over the bound.
        const int target = int(ZnBoundedXml::kMaxBytes) - 1 + (size > 1 ? data[1] % 3 : 0);
        if (xml.size() < target) xml.append(QByteArray(target - xml.size(), ' '));
        mustRefuse = xml.size() > ZnBoundedXml::kMaxBytes;
    }

    // From a device too where the size matters (reading stops past the bound).
    check(parseOnSmallStack(xml, false), xml, mustRefuse);
    if (mode == 1) check(parseOnSmallStack(xml, true), xml, mustRefuse);
    return 0;
}
