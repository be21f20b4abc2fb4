// Fuzzes the release notes' break scanner (LiveUpdate::withBreakOpportunities)
// and the cut of long notes (LiveUpdate::shownReleaseNotes). The first byte
// says plain text or HTML (bit 0), and whether the rest is repeated up to past
// the length bound of the shown notes (bits 1 to 6 all set); the rest is UTF-16 code units as they come
// (so lone surrogates, pairs and split pairs all occur). What must hold:
//   - the output is the input with zero-width spaces inserted, nothing else;
//   - no inserted break splits a surrogate pair: the output has as many pairs
//     as the input;
//   - bounded work per character: at most one break per kMaxUnbrokenRun / 2
//     code units, so the output's length is bounded by a linear function of
//     the input's (and the repeated inputs, a quarter of a million code units,
//     run within libFuzzer's time limit per input);
//   - the shown notes are the start of the notes (with breaks) and end neither
//     inside a surrogate pair nor with a lone high surrogate made by the cut.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "updater/LiveUpdate.h"

// The checks' own loops run over a quarter of a million code units for the
// long inputs: coverage of them guides nothing, and its tracing would slow
// every run down several times.
#define ZN_NOT_TRACED __attribute__((no_sanitize("coverage")))

namespace {

const QChar kBreak(0x200B);

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_notes_breaks: %s\n", what);
    std::abort();
}

ZN_NOT_TRACED int surrogatePairs(const QString& text) {
    int pairs = 0;
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate()) {
            ++pairs;
            ++i;
        }
    }
    return pairs;
}

// Checks that `output` is `input` with zero-width spaces inserted, and gives
// the number inserted; `prefix`: `input` need only be begun.
ZN_NOT_TRACED int insertedBreaks(const QString& input, const QString& output, bool prefix) {
    int i = 0;
    int inserted = 0;
    for (const QChar c : output) {
        if (i < input.size() && c == input.at(i)) {
            ++i;
        } else if (c == kBreak) {
            ++inserted;
        } else {
            fail("the output holds more than the input and zero-width spaces");
        }
    }
    if (!prefix && i != input.size()) fail("the output lost part of the input");
    return inserted;
}

void checkBreaks(const QString& text, bool rich) {
    const QString output = LiveUpdate::withBreakOpportunities(text, rich);
    const int inserted = insertedBreaks(text, output, false);
    if (surrogatePairs(output) != surrogatePairs(text)) fail("a break split a surrogate pair");
    if (inserted > text.size() / (LiveUpdate::kMaxUnbrokenRun / 2) + 1)
        fail("more breaks than the text's length allows");
}

void checkShown(const QString& notes, bool rich) {
    const QString shown = LiveUpdate::shownReleaseNotes(notes, rich);
    if (notes.size() <= LiveUpdate::kMaxShownNotes) {
        if (shown != LiveUpdate::withBreakOpportunities(notes, rich)) fail("notes within the bound were changed");
        return;
    }
    // The kept part is everything up to the closing paragraph or lines.
    const int closing = rich ? shown.lastIndexOf(QLatin1String("<p><i>")) : shown.lastIndexOf(QLatin1String("\n\n"));
    if (closing < 0) fail("cut notes without the closing line");
    const QString kept = shown.left(closing);
    if (insertedBreaks(notes, kept, true) > kept.size() / (LiveUpdate::kMaxUnbrokenRun / 2) + 1)
        fail("more breaks in the kept notes than their length allows");
    QString plain = kept;
    plain.remove(kBreak);
    // What the cut kept ends where the notes had no pair split.
    const int end = plain.size();
    if (end > 0 && end < notes.size() && notes.at(end - 1).isHighSurrogate() && notes.at(end).isLowSurrogate())
        fail("the cut split a surrogate pair");
    if (surrogatePairs(kept) != surrogatePairs(notes.left(end))) fail("a break in the kept notes split a pair");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool rich = data[0] & 1;
    const bool repeat = (data[0] & 0x7e) == 0x7e;
    // Code units little-endian, read byte by byte (the input has no alignment).
    QString text((int(size) - 1) / 2, Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) text[i] = QChar(ushort(data[1 + 2 * i] | (data[2 + 2 * i] << 8)));
    if (repeat && !text.isEmpty()) {
        const int times = (LiveUpdate::kMaxShownNotes + 1024) / text.size() + 1;
        text = text.repeated(times);
    }
    // The long notes go through the scanner once, in the cut.
    if (!repeat) checkBreaks(text, rich);
    checkShown(text, rich);
    return 0;
}
