// What the update window's text box shows of the release notes: the cut at
// the length bound and the break opportunities in long runs.
#include <algorithm>

#include "updater/LiveUpdate.h"

namespace {

const QChar kBreak(0x200B);
// An entity is "&", a few dozen letters, digits or "#", and ";" (the longest
// named one has 31); an "&" without that is an ordinary character.
constexpr int kMaxEntityName = 32;
// From "<" to its ">" at most; a "<" without a ">" that near is text.
constexpr int kMaxTagLength = 8192;

bool isEntityNameChar(QChar c) {
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '#';
}

// Length of the entity that begins at text[at] ("&" to ";" inclusive), or 0
// when no entity begins there.
int entityLength(const QString& text, int at) {
    const int end = std::min<int>(text.size(), at + 2 + kMaxEntityName);
    for (int i = at + 1; i < end; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(';')) return i > at + 1 ? i - at + 1 : 0;
        if (!isEntityNameChar(c)) return 0;
    }
    return 0;
}

// White space the layout may break at; the no-break spaces join their
// neighbours into one run.
bool breaksRun(QChar c) {
    const ushort u = c.unicode();
    if (u == 0x00A0 || u == 0x2007 || u == 0x202F) return false;
    return c.isSpace() || c == kBreak;
}

// The characters from `at` that the layout never separates: a surrogate pair
// or one code unit.
int unitLength(const QString& text, int at) {
    return text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate() ? 2 : 1;
}

// Finds each tag's ">" in one pass over the text: `next` only moves forward.
class TagEnds {
public:
    explicit TagEnds(const QString& text) : m_text(text) {}
    // Length of the tag that begins at m_text[at] == "<", or 0 when it is no tag.
    int lengthAt(int at) {
        if (m_next != -1 && m_next < at) m_next = m_text.indexOf(QLatin1Char('>'), at);
        if (m_next == -1 || m_next - at + 1 > kMaxTagLength) return 0;
        return m_next - at + 1;
    }

private:
    const QString& m_text;
    int m_next = -2;  // the next ">" at or after the last asked position; -1: none left
};

// `cut` moved back so that the text before it ends neither inside a
// surrogate pair nor (in HTML) inside an entity.
int wholeCut(const QString& text, int cut, bool rich) {
    if (cut <= 0 || cut >= text.size()) return cut;
    if (text.at(cut - 1).isHighSurrogate() && text.at(cut).isLowSurrogate()) --cut;
    if (!rich) return cut;
    const int amp = text.lastIndexOf(QLatin1Char('&'), cut - 1);
    if (amp >= 0 && cut - amp < kMaxEntityName + 2 && amp + entityLength(text, amp) > cut) cut = amp;
    return cut;
}

}  // namespace

QString LiveUpdate::withBreakOpportunities(const QString& text, bool rich) {
    // The text box lays out a run without a break opportunity in a time that
    // grows with the square of its length (256 Ki characters of one word take
    // seconds): give every run an invisible break (a zero-width space) so
    // that none is longer than kMaxUnbrokenRun. Tags and entities of HTML
    // stay whole; what only looks like the start of one is text.
    QString result;
    result.reserve(text.size() + text.size() / kMaxUnbrokenRun + 1);
    TagEnds tags(text);
    int run = 0;
    for (int i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (rich && c == QLatin1Char('<')) {
            if (const int length = tags.lengthAt(i)) {
                result += text.midRef(i, length);
                i += length;
                continue;
            }
        }
        int length = 0;
        if (rich && c == QLatin1Char('&')) length = entityLength(text, i);
        // An entity shows as one character: it may end a run a little late.
        const bool full = length ? run >= kMaxUnbrokenRun : run + unitLength(text, i) > kMaxUnbrokenRun;
        if (!length) length = unitLength(text, i);
        if (full) {
            result += kBreak;
            run = 0;
        }
        result += text.midRef(i, length);
        run = breaksRun(c) ? 0 : run + length;
        i += length;
    }
    return result;
}

QString LiveUpdate::shownReleaseNotes(const QString& notes, bool rich) {
    if (notes.size() <= kMaxShownNotes) return withBreakOpportunities(notes, rich);
    const QString head = notes.left(kMaxShownNotes);
    // The end of a line or of a tag in the second half of what fits; else the
    // limit itself (out of a tag begun there, an entity or a surrogate pair).
    int cut = kMaxShownNotes;
    const int tagEnd = head.lastIndexOf(QLatin1Char('>')) + 1;
    const int lineEnd = head.lastIndexOf(QLatin1Char('\n')) + 1;
    int boundary = lineEnd;
    if (rich) {
        // A line end inside a tag is no place to cut HTML.
        const bool lineEndInTag = lineEnd > tagEnd && head.lastIndexOf(QLatin1Char('<'), lineEnd - 1) >= tagEnd;
        boundary = lineEndInTag ? tagEnd : qMax(lineEnd, tagEnd);
    }
    if (boundary > kMaxShownNotes / 2) {
        cut = boundary;
    } else if (rich) {
        const int tagStart = head.lastIndexOf(QLatin1Char('<'));
        if (tagStart >= tagEnd && tagStart > 0) cut = tagStart;
    }
    cut = wholeCut(notes, cut, rich);
    const QString closing = tr("The release notes are longer than shown here and were cut.");
    const QString shown = withBreakOpportunities(notes.left(cut), rich);
    if (rich) return shown + QStringLiteral("<p><i>") + closing.toHtmlEscaped() + QStringLiteral("</i></p>");
    return shown + QStringLiteral("\n\n") + closing;
}
