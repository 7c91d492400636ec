// The playback service with a FluidSynth library that is not the one the
// program was built for. CTest runs this with LD_LIBRARY_PATH leading to a
// library by FluidSynth's name that holds none of its functions, which the
// dynamic loader finds before the real one. Every open is refused with one
// text that names the file, the library and the package to install, whether
// the synthesizer was prepared ahead or not.

#include "model/keytable.h"
#include "playback/service/fluidsynthservice.h"

#include <QDir>
#include <QTest>

using namespace quiralto;
using namespace quiralto::playback;

class TestFluidSynthLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(QUIRALTO_TEST_SCALES_DIR)));
    }

    void everyOpenIsRefused_data()
    {
        QTest::addColumn<bool>("prepared");
        QTest::newRow("made at the open") << false;
        QTest::newRow("prepared ahead") << true;
    }

    void everyOpenIsRefused()
    {
        QFETCH(bool, prepared);
        FluidSynthService service(AudioOutput::Offline);
        if (prepared)
            service.prepare();
        const std::string file = model::scaleFileName(model::KeyTable()[1].tonicIndex, model::ScaleForm::Harmonic);

        for (int attempt = 1; attempt <= 2; ++attempt) {
            DeviceId device = 0;
            QCOMPARE(service.open(file, device), ErrorCode(ErrorNoSynthesizerLibrary));
            QCOMPARE(device, DeviceId(0));
            const auto text = service.errorText(ErrorNoSynthesizerLibrary);
            QVERIFY(text.has_value());
            for (const std::string &part : {'"' + file + '"', std::string("libfluidsynth.so.3"),
                                            std::string("instale o pacote libfluidsynth3")})
                QVERIFY2(text->find(part) != std::string::npos, text->c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestFluidSynthLibrary)
#include "tst_fluidsynthlibrary.moc"
