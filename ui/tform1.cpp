#include "ui/tform1.h"

#include "model/degreeheadings.h"
#include "model/keytable.h"
#include "playback/scaleplayer.h"
#include "playback/service/mediaservice.h"
#include "ui/screenscaling.h"
#include "ui/tcombobox.h"
#include "ui/tstringgrid.h"
#include "windowing/drawing.h"
#include "windowing/handlerboundary.h"
#include "windowing/systemcolors.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScreen>

namespace quiralto::ui {

namespace {

constexpr QSize DesignClientSize(981, 479);
constexpr QPoint WindowPosition(196, 107);
// Where the two lines of credits end, one under the other.
constexpr int CreditsRight = 962;

constexpr Qt::WindowFlags DialogFrame = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
    | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

const char *const DominantHint = "O acorde da dominante é menor.";
const char *const MediantHint = "A alteração da sensível não se aplica ao acorde da mediante "
                                "(tonalidades relativas: I - vi, i - III).";

// A label is as wide as its text and as high as the font's text, without
// the gap some faces keep between lines.
QSize labelSize(const QLabel *label)
{
    return QSize(label->sizeHint().width(), label->fontMetrics().height());
}

void writeRow(TStringGrid *grid, int row, const model::RowCells &cells)
{
    for (const model::Cell &cell : cells)
        grid->setCells(cell.column, row, QString::fromLatin1(cell.text));
}

} // namespace

TForm1::TForm1(playback::MediaService &playbackService, QWidget *parent)
    : QWidget(parent, DialogFrame)
{
    setWindowTitle(QStringLiteral("Quiralto - Versão 1.0"));
    setFont(windowing::windowFont());
    QPalette background = palette();
    background.setColor(QPalette::Window, windowing::systemColor(windowing::SystemColor::BtnFace, palette()));
    setPalette(background);
    setAutoFillBackground(true);

    Label1 = createLabel("Primitiva", 16, 80);
    Label2 = createLabel("Harmônica", 16, 208);
    Label3 = createLabel("Melódica", 16, 336);
    Label4 = createCreditLabel("Desenvolvido por Ilvoraque - Fevereiro 2010", 432);
    Label5 = createCreditLabel("Comentários e sugestões: quiralto@example.org", 456);
    Label6 = createLabel("Escolha a escala", 368, 16);
    Label7 = createLabel("Aperte o play", 368, 40);
    Label8 = createLabel("Clique em um retângulo branco", 368, 64);
    Label9 = createLabel("Software didático e livre", 800, 40);

    StringGrid1 = createGrid(104, DominantHint);
    StringGrid2 = createGrid(232, MediantHint);
    StringGrid3 = createGrid(360, MediantHint);

    ComboBox1 = new TComboBox(this);
    ComboBox1->setGeometry(128, 16, 177, 21);
    QStringList keys;
    for (const model::KeyTableRow &key : model::KeyTable())
        keys << QString::fromLatin1(key.listText);
    ComboBox1->setItems(keys);
    ComboBox1->setDropDownCount(15);
    ComboBox1->setText(QStringLiteral("Armadura"));

    MediaPlayer1 = new playback::ScalePlayer(playbackService, this);
    MediaPlayer1->setGeometry(72, 72, 29, 30);
    MediaPlayer2 = new playback::ScalePlayer(playbackService, this);
    MediaPlayer2->setGeometry(72, 200, 29, 30);
    MediaPlayer3 = new playback::ScalePlayer(playbackService, this);
    MediaPlayer3->setGeometry(72, 328, 29, 30);

    // Names for assistive technology, which cannot tell from the picture
    // which grid and which Play button belong to which form of the scale.
    StringGrid1->setAccessibleName(QStringLiteral("Acordes da escala primitiva"));
    StringGrid2->setAccessibleName(QStringLiteral("Acordes da escala harmônica"));
    StringGrid3->setAccessibleName(QStringLiteral("Acordes da escala melódica"));
    ComboBox1->setAccessibleName(QStringLiteral("Escolha a escala"));
    MediaPlayer1->setAccessibleName(QStringLiteral("Tocar escala primitiva"));
    MediaPlayer2->setAccessibleName(QStringLiteral("Tocar escala harmônica"));
    MediaPlayer3->setAccessibleName(QStringLiteral("Tocar escala melódica"));

    using windowing::connectHandler;
    connectHandler(StringGrid1, &TStringGrid::OnClick, this, &TForm1::StringGrid1Click);
    connectHandler(StringGrid2, &TStringGrid::OnClick, this, &TForm1::StringGrid2Click);
    connectHandler(StringGrid3, &TStringGrid::OnClick, this, &TForm1::StringGrid3Click);
    connectHandler(ComboBox1, &TComboBox::OnChange, this, &TForm1::ComboBox1Change);
    // The synthesizer takes longer to make than a key change may take to
    // show: it is made while the user is still on the way to a key.
    connect(ComboBox1, &TComboBox::approached, this,
            [&playbackService] { windowing::guarded([&] { playbackService.prepare(); }); });

    scaleToScreen();
    // The window opens where it was designed to, not centred and not moved
    // onto the screen, even when the screen is too small for it.
    move(WindowPosition);
}

QLabel *TForm1::createLabel(const char *utf8Text, int left, int top)
{
    auto *label = new QLabel(QString::fromUtf8(utf8Text), this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(QRect(QPoint(left, top), labelSize(label)));
    return label;
}

// The credits were laid out to end together at the right; they keep doing
// so whatever widths the face gives their texts.
QLabel *TForm1::createCreditLabel(const char *utf8Text, int top)
{
    QLabel *label = createLabel(utf8Text, 0, top);
    label->move(CreditsRight - label->width(), top);
    return label;
}

TStringGrid *TForm1::createGrid(int top, const char *utf8Hint)
{
    auto *grid = new TStringGrid(this);
    grid->setGeometry(8, top, 965, 53);
    grid->setColCount(13);
    grid->setRowCount(2);
    grid->setDefaultColWidth(73);
    grid->setToolTip(QString::fromUtf8(utf8Hint));
    return grid;
}

// On a screen whose text is taller or shorter than the layout's, every
// control follows the text, the players included, down to the smallest
// size a player can have; the grids' cells keep their size. This is the
// only scaling: Qt's own is switched off before the application starts.
void TForm1::scaleToScreen()
{
    QFont scaledFont = font();
    const int dotsPerInch = qRound(screen()->logicalDotsPerInchY());
    if (dotsPerInch != DesignDotsPerInch) {
        scaledFont.setPixelSize(-scaleValue(DesignFontHeight, dotsPerInch, DesignDotsPerInch));
        setFont(scaledFont);
    }
    const int textHeight = QFontMetrics(scaledFont).height();
    if (textHeight == DesignTextHeight) {
        setFixedSize(DesignClientSize);
        return;
    }
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        QRect scaled = scaledGeometry(control->geometry(), textHeight);
        if (control == ComboBox1) // its height follows its font
            scaled.setHeight(control->sizeHint().height());
        if (auto *label = qobject_cast<QLabel *>(control)) { // labels size themselves to their text
            const int right = scaled.right();
            scaled.setSize(labelSize(label));
            if (label == Label4 || label == Label5)
                scaled.moveRight(right);
        }
        control->setGeometry(scaled);
    }
    setFixedSize(scaleValue(DesignClientSize.width(), textHeight, DesignTextHeight),
                 scaleValue(DesignClientSize.height(), textHeight, DesignTextHeight));
}

void TForm1::FormCreate()
{
    for (const FormControls &controls : formControls())
        writeRow(controls.grid, 0, model::DegreeHeadings(controls.form, model::HeadingSet::Names));
    m_harmonicField.fillNoteNames();
}

void TForm1::ComboBox1Change(TComboBox *)
{
    m_harmonicField.selectKeyByListPosition(ComboBox1->ItemIndex());
    const auto controls = formControls();
    for (const FormControls &form : controls)
        writeRow(form.grid, 1, m_harmonicField.row(form.form));
    const int tonic = m_harmonicField.TonicIndex();
    if (model::isKeyTonic(tonic)) {
        for (const FormControls &form : controls)
            form.player->setFileName(model::scaleFileName(tonic, form.form));
    }
    // A player that cannot open its file ends the change here: the grids
    // already show the new key, and the later players keep their files.
    for (const FormControls &form : controls)
        form.player->Open();
}

void TForm1::StringGrid1Click(TStringGrid *Sender)
{
    toggleHeadings(Sender, model::ScaleForm::Natural);
}

void TForm1::StringGrid2Click(TStringGrid *Sender)
{
    toggleHeadings(Sender, model::ScaleForm::Harmonic);
}

void TForm1::StringGrid3Click(TStringGrid *Sender)
{
    toggleHeadings(Sender, model::ScaleForm::Melodic);
}

void TForm1::toggleHeadings(TStringGrid *grid, model::ScaleForm form)
{
    const model::HeadingSet next = model::toggledHeadingSet(grid->Cells(0, 0).toLatin1().toStdString());
    writeRow(grid, 0, model::DegreeHeadings(form, next));
}

std::array<TForm1::FormControls, 3> TForm1::formControls() const
{
    return {{{model::ScaleForm::Natural, StringGrid1, MediaPlayer1},
             {model::ScaleForm::Harmonic, StringGrid2, MediaPlayer2},
             {model::ScaleForm::Melodic, StringGrid3, MediaPlayer3}}};
}

} // namespace quiralto::ui
