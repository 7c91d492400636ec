#include "app/application.h"
#include "app/applicationtitle.h"
#include "app/errorbox.h"
#include "model/exception.h"
#include "windowing/cancelmode.h"
#include "windowing/handlerboundary.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include <sys/resource.h>

using namespace quiralto;

namespace {

// Fails on every key press, as a handler whose work raised an error would,
// run where Qt calls it through the program's handler boundary.
class FailingWidget : public QWidget
{
public:
    std::string message = "Falhou";
    int keyPresses = 0;
    int cancelModeEvents = 0;
    bool cancelledBeforeBox = false;

protected:
    void keyPressEvent(QKeyEvent *) override
    {
        windowing::guarded([this] {
            ++keyPresses;
            throw Exception(message);
        });
    }
    void mousePressEvent(QMouseEvent *) override {}
    bool event(QEvent *event) override
    {
        if (event->type() == windowing::CancelModeEvent::eventType()) {
            ++cancelModeEvents;
            cancelledBeforeBox = QApplication::activeModalWidget() == nullptr;
            return true;
        }
        return QWidget::event(event);
    }
};

struct ShownBox
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    Qt::WindowModality modality = Qt::NonModal;
    bool popupOpen = true;
};

// Answers the next error box as a user would, noting what it showed.
void dismissNextBox(ShownBox &seen)
{
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++seen.count;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = int(box->buttons().size());
        seen.modality = box->windowModality();
        seen.popupOpen = QApplication::activePopupWidget() != nullptr;
        box->button(QMessageBox::Ok)->click();
    });
}

// In a child process of the test: a slot connected without a guard fails.
// What the error box shows, if one comes, goes to the standard output.
int failOutsideEveryGuard(int argc, char **argv)
{
    app::Application application(argc, argv);
    ShownBox seen;
    QTimer::singleShot(0, [&seen] {
        dismissNextBox(seen);
        QTimer::singleShot(0, &QApplication::quit);
        throw Exception("Sem guarda");
    });
    const int status = application.exec();
    std::printf("%s\n", qPrintable(seen.text));
    return status;
}

const char *const FailOutsideEveryGuard = "--fail-outside-every-guard";

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void title_data();
    void title();
    void fullStopRule_data();
    void fullStopRule();
    void failureInAHandlerIsShownAndTheProgramGoesOn();
    void failureEndsPointerModeAndClosesListsFirst();
    void failureOutsideEveryGuard_data();
    void failureOutsideEveryGuard();
};

void TestApplication::title_data()
{
    QTest::addColumn<QString>("programFile");
    QTest::addColumn<QString>("title");
    QTest::newRow("upper case") << "EXEMPLO.EXE" << "Exemplo";
    QTest::newRow("lower case") << "exemplo.exe" << "exemplo";
    QTest::newRow("two dots") << "A.B.EXE" << "A";
    QTest::newRow("x.y.exe") << "x.y.exe" << "x";
    QTest::newRow("path") << "/usr/local/bin/QUIRALTO" << "Quiralto";
    QTest::newRow("dot in a folder name") << "/opt/app.d/Quiralto" << "Quiralto";
    QTest::newRow("no extension") << "quiralto" << "quiralto";
}

void TestApplication::title()
{
    QFETCH(QString, programFile);
    QFETCH(QString, title);
    QCOMPARE(app::applicationTitle(programFile), title);
}

void TestApplication::fullStopRule_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << QByteArray("No MCI device open") << "No MCI device open.";
    QTest::newRow("digit") << QByteArray("Erro 42") << "Erro 42.";
    QTest::newRow("colon") << QByteArray("Arquivo:") << "Arquivo:.";
    QTest::newRow("question mark") << QByteArray("Onde?") << "Onde?.";
    QTest::newRow("full stop") << QByteArray("Pronto.") << "Pronto.";
    QTest::newRow("exclamation") << QByteArray("Pare!") << "Pare!";
    QTest::newRow("space") << QByteArray("Fim ") << "Fim ";
    QTest::newRow("hyphen") << QByteArray("Erro -") << "Erro -";
    QTest::newRow("closing parenthesis") << QByteArray("(Mi)") << "(Mi)";
    QTest::newRow("accented letter") << QByteArray("Sess\xE3o inv\xE1lida est\xE1") << QString::fromUtf8("Sessão inválida está.");
    QTest::newRow("empty") << QByteArray() << "";
}

void TestApplication::fullStopRule()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, shown);
    QCOMPARE(app::errorBoxText(message.toStdString()), shown);
}

void TestApplication::failureInAHandlerIsShownAndTheProgramGoesOn()
{
    FailingWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ShownBox seen;
    dismissNextBox(seen);
    QTest::keyClick(&window, Qt::Key_A);
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Falhou."));
    QCOMPARE(seen.title, qobject_cast<app::Application *>(qApp)->title());
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, 1);
    QCOMPARE(seen.modality, Qt::ApplicationModal);

    // The program keeps handling events, and a second failure is shown too.
    window.message = "Outra vez!";
    dismissNextBox(seen);
    QTest::keyClick(&window, Qt::Key_B);
    QCOMPARE(window.keyPresses, 2);
    QCOMPARE(seen.count, 2);
    QCOMPARE(seen.text, QStringLiteral("Outra vez!"));
}

void TestApplication::failureEndsPointerModeAndClosesListsFirst()
{
    FailingWidget window;
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A button held down on the widget, and a list open elsewhere.
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
    QMenu list;
    list.addAction(QStringLiteral("Lá Menor"));
    list.popup(window.mapToGlobal(QPoint(20, 20)));
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(QApplication::activePopupWidget(), &list);

    ShownBox seen;
    dismissNextBox(seen);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);

    QCOMPARE(seen.count, 1);
    QVERIFY(!seen.popupOpen);
    QCOMPARE(window.cancelModeEvents, 1);
    QVERIFY(window.cancelledBeforeBox);

    // Once released, the pointer belongs to nobody: the next failure
    // cancels nothing.
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(10, 10));
    dismissNextBox(seen);
    QApplication::sendEvent(&window, &press);
    QCOMPARE(seen.count, 2);
    QCOMPARE(window.cancelModeEvents, 1);
}

void TestApplication::failureOutsideEveryGuard_data()
{
    QTest::addColumn<bool>("strict");
    QTest::newRow("test run: ends loudly") << true;
    QTest::newRow("as run by users: shown in the box") << false;
}

void TestApplication::failureOutsideEveryGuard()
{
    QFETCH(bool, strict);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUIRALTO_STRICT_HANDLERS"), QString::number(int(strict)));
    QProcess child;
    child.setProcessEnvironment(environment);
    // The abort is expected; a core file of it would only litter.
    child.setChildProcessModifier([] { const rlimit noCore{0, 0}; setrlimit(RLIMIT_CORE, &noCore); });
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(FailOutsideEveryGuard)});
    QVERIFY(child.waitForFinished(30000));
    if (strict) {
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(child.readAllStandardError().contains("Falha fora da fronteira dos manipuladores: Sem guarda"));
    } else {
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("Sem guarda.\n"));
    }
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], FailOutsideEveryGuard) == 0)
        return failOutsideEveryGuard(argc, argv);
    app::Application application(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
