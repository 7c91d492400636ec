#include "midi/midifile.h"
#include "midi/midiwriter.h"

#include <QTest>

#include <string_view>
#include <vector>

using namespace quiralto::midi;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bigEndian(std::uint32_t value, int bytes)
{
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

Bytes chunk(std::string_view id, const Bytes &body)
{
    return Bytes(id.begin(), id.end()) + bigEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
}

Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division)
{
    return chunk("MThd", bigEndian(format, 2) + bigEndian(tracks, 2) + bigEndian(division, 2));
}

const Bytes EndOfTrack{0x00, 0xFF, 0x2F, 0x00};

Bytes singleTrack(const Bytes &events)
{
    return header(0, 1, 96) + chunk("MTrk", events);
}

// Track 0: tempo map, a long text event, sysex in both forms, an early end.
// Track 1: notes with running status, ending later. An unknown chunk and a
// header longer than six bytes, as later versions of the standard may write.
Bytes formatOneFile()
{
    const Bytes text(130, 'a');
    const Bytes conductor = Bytes{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}  // 500000 us
                            + Bytes{0x00, 0xFF, 0x01, 0x81, 0x02} + text      // 2-byte length
                            + Bytes{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}
                            + Bytes{0x05, 0xF7, 0x01, 0xF8}
                            + Bytes{0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40} // tick 485
                            + Bytes{0x05, 0xFF, 0x2F, 0x00};                 // tick 490
    const Bytes notes = Bytes{0x00, 0xC0, 0x13}
                        + Bytes{0x00, 0x90, 0x3C, 0x64}
                        + Bytes{0x00, 0x40, 0x50}          // running status
                        + Bytes{0x81, 0x00, 0x3C, 0x00}    // tick 128, running status
                        + Bytes{0x00, 0x80, 0x40, 0x00}
                        + Bytes{0x00, 0xE0, 0x00, 0x40}
                        + Bytes{0x82, 0x74, 0xFF, 0x2F, 0x00}; // tick 500
    const Bytes longHeader = bigEndian(1, 2) + bigEndian(2, 2) + bigEndian(96, 2) + Bytes{0xAB, 0xCD};
    return chunk("MThd", longHeader) + chunk("MTrk", conductor) + chunk("XFIH", {1, 2, 3})
           + chunk("MTrk", notes);
}

} // namespace

class TestMidiFile : public QObject
{
    Q_OBJECT

private slots:
    void readsFormatZero()
    {
        // GIVEN a single track with running status, a meta event, sysex and
        // an End of Track later than the last note
        const Bytes events = Bytes{0x00, 0xFF, 0x03, 0x04, 'T', 'r', 'i', 'o'}
                             + Bytes{0x00, 0xF0, 0x03, 0x43, 0x10, 0xF7}
                             + Bytes{0x00, 0x90, 0x3C, 0x64}
                             + Bytes{0x60, 0x3C, 0x00}
                             + Bytes{0x60, 0xFF, 0x2F, 0x00};

        const MidiFile midi = readMidiFile(singleTrack(events));

        QCOMPARE(midi.format, 0);
        QCOMPARE(midi.division, 96);
        QCOMPARE(midi.tracks.size(), 1u);
        const std::vector<MidiEvent> expected{{0, 0x90, 0x3C, 0x64}, {96, 0x90, 0x3C, 0x00}};
        QVERIFY(midi.tracks[0] == expected);
        QCOMPARE(midi.lastEventTick, 192u);
        QVERIFY(midi.tempoChanges.empty());
    }

    void readsFormatOne()
    {
        const MidiFile midi = readMidiFile(formatOneFile());

        QCOMPARE(midi.format, 1);
        QCOMPARE(midi.tracks.size(), 2u);
        QVERIFY(midi.tracks[0].empty());
        const std::vector<MidiEvent> notes{{0, 0xC0, 0x13, 0x00},   {0, 0x90, 0x3C, 0x64},
                                           {0, 0x90, 0x40, 0x50},   {128, 0x90, 0x3C, 0x00},
                                           {128, 0x80, 0x40, 0x00}, {128, 0xE0, 0x00, 0x40}};
        QVERIFY(midi.tracks[1] == notes);
        const std::vector<TempoChange> tempi{{0, 500000}, {485, 1000000}};
        QVERIFY(midi.tempoChanges == tempi);
        QCOMPARE(midi.lastEventTick, 500u);
    }

    void rewriteReadsBackTheSame()
    {
        // GIVEN what our reading kept of a file with everything the writer drops
        const MidiFile original = readMidiFile(formatOneFile());

        // WHEN it is written and read again
        const Bytes rewritten = writeMidiFile(original);
        const MidiFile reread = readMidiFile(rewritten);

        // THEN nothing that plays has changed, and the header has the one
        // length every reader takes
        QCOMPARE(reread.format, original.format);
        QCOMPARE(reread.division, original.division);
        QCOMPARE(reread.lastEventTick, original.lastEventTick);
        QVERIFY(reread.tracks == original.tracks);
        QVERIFY(reread.tempoChanges == original.tempoChanges);
        const Bytes headerStart(rewritten.begin(), rewritten.begin() + 8);
        QVERIFY(headerStart == (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6}));
    }

    void rewriteReachesTheLargestTick()
    {
        // A track that ends at the largest tick with no event before needs the
        // longest delta there is.
        const Bytes events = Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00};
        const MidiFile original = readMidiFile(singleTrack(events));
        QCOMPARE(original.lastEventTick, 0x0FFFFFFFu);

        QCOMPARE(readMidiFile(writeMidiFile(original)).lastEventTick, 0x0FFFFFFFu);
    }

    void acceptsAFileOfExactlyTheSizeLimit()
    {
        const Bytes file = singleTrack(EndOfTrack);
        const Bytes padding(MaxMidiFileSize - file.size() - 8, 0);

        const MidiFile midi = readMidiFile(file + chunk("XPAD", padding));

        QCOMPARE(midi.tracks.size(), 1u);
    }

    void refusesMalformedFiles_data()
    {
        QTest::addColumn<Bytes>("bytes");

        const Bytes note{0x00, 0x90, 0x3C, 0x64};
        const Bytes valid = singleTrack(note + EndOfTrack);
        const Bytes track = chunk("MTrk", EndOfTrack);

        QTest::newRow("empty") << Bytes{};
        QTest::newRow("MThd only") << Bytes{'M', 'T', 'h', 'd'};
        QTest::newRow("not MThd first") << chunk("MTrk", EndOfTrack) + valid;
        QTest::newRow("header length 5") << chunk("MThd", {0, 0, 0, 1, 0}) + track;
        QTest::newRow("header past the end") << Bytes(valid.begin(), valid.begin() + 12);
        QTest::newRow("track past the end") << Bytes(valid.begin(), valid.end() - 1);
        QTest::newRow("unknown chunk past the end")
            << valid + Bytes{'X', 'Y', 'Z', 'W', 0, 0, 0, 9, 1};
        QTest::newRow("chunk id not ASCII") << valid + chunk("\xC3\xA9xx", {});
        QTest::newRow("zero tracks") << header(1, 0, 96);
        QTest::newRow("fewer tracks than declared") << header(1, 2, 96) + track;
        QTest::newRow("more tracks than declared") << header(1, 1, 96) + track + track;
        QTest::newRow("format 0 with two tracks") << header(0, 2, 96) + track + track;
        QTest::newRow("format 3") << header(3, 1, 96) + track;
        QTest::newRow("SMPTE division") << header(0, 1, 0xE728) + track;
        QTest::newRow("zero division") << header(0, 1, 0) + track;
        {
            Bytes many = header(1, 129, 96);
            for (int i = 0; i < 129; ++i)
                many = many + track;
            QTest::newRow("129 tracks") << many;
        }
        QTest::newRow("truncated VLQ") << singleTrack({0x81});
        QTest::newRow("5-byte VLQ") << singleTrack(Bytes{0x81, 0x81, 0x81, 0x81, 0x00, 0x90, 0x3C, 0x64} + EndOfTrack);
        QTest::newRow("truncated note") << singleTrack({0x00, 0x90, 0x3C});
        QTest::newRow("truncated meta") << singleTrack({0x00, 0xFF, 0x01, 0x05, 'a', 'b'});
        QTest::newRow("truncated sysex") << singleTrack({0x00, 0xF0, 0x05, 0x7E});
        QTest::newRow("meta length beyond the track") << singleTrack({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F});
        QTest::newRow("data byte without status") << singleTrack(Bytes{0x00, 0x3C, 0x64} + EndOfTrack);
        QTest::newRow("running status after meta")
            << singleTrack(note + Bytes{0x00, 0xFF, 0x01, 0x00} + Bytes{0x00, 0x3C, 0x00} + EndOfTrack);
        QTest::newRow("data byte above 127") << singleTrack(Bytes{0x00, 0x90, 0x3C, 0x80} + EndOfTrack);
        QTest::newRow("system common status") << singleTrack(Bytes{0x00, 0xF1, 0x00} + EndOfTrack);
        QTest::newRow("no End of Track") << singleTrack(note);
        QTest::newRow("event after End of Track") << singleTrack(EndOfTrack + note);
        QTest::newRow("tempo of 2 bytes") << singleTrack(Bytes{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1} + EndOfTrack);
        QTest::newRow("tempo of zero") << singleTrack(Bytes{0x00, 0xFF, 0x51, 0x03, 0, 0, 0} + EndOfTrack);
        QTest::newRow("End of Track with data") << singleTrack({0x00, 0xFF, 0x2F, 0x01, 0x00});
        QTest::newRow("ticks beyond four-byte deltas")
            << singleTrack(Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64, 0x01, 0xFF, 0x2F, 0x00});
        QTest::newRow("over 1 MiB") << valid + chunk("XPAD", Bytes(MaxMidiFileSize - valid.size() - 7, 0));
    }

    void refusesMalformedFiles()
    {
        QFETCH(Bytes, bytes);
        QVERIFY_THROWS_EXCEPTION(MidiFormatError, readMidiFile(bytes));
    }

    void refusesEveryTruncation()
    {
        // Wherever a valid file is cut, the reader refuses it and never reads
        // past the end of what it was given.
        const Bytes file = formatOneFile();
        for (std::size_t size = 0; size < file.size(); ++size) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
            QVERIFY_THROWS_EXCEPTION(MidiFormatError, readMidiFile(cut));
        }
    }
};

QTEST_APPLESS_MAIN(TestMidiFile)
#include "tst_midifile.moc"
