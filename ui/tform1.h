#pragma once

#include "model/harmonicfield.h"

#include <QWidget>

#include <array>

class QLabel;

namespace quiralto::playback {
class MediaService;
class ScalePlayer;
} // namespace quiralto::playback

namespace quiralto::ui {

class TComboBox;
class TStringGrid;

/// The program's one window: a key selector, and for each form of the minor
/// scale a label, a grid with its degree headings and chord row, and a
/// player for its scale.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(playback::MediaService &playbackService, QWidget *parent = nullptr);

    /// Writes the degree names into the three heading rows and fills the
    /// note names; runs once, before the window is first shown.
    void FormCreate();

    const model::HarmonicField &harmonicField() const { return m_harmonicField; }

    // The controls, in creation order.
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    QLabel *Label9;
    TStringGrid *StringGrid1;
    TStringGrid *StringGrid2;
    TStringGrid *StringGrid3;
    TComboBox *ComboBox1;
    playback::ScalePlayer *MediaPlayer1;
    playback::ScalePlayer *MediaPlayer2;
    playback::ScalePlayer *MediaPlayer3;

    void ComboBox1Change(TComboBox *Sender);
    void StringGrid1Click(TStringGrid *Sender);
    void StringGrid2Click(TStringGrid *Sender);
    void StringGrid3Click(TStringGrid *Sender);

private:
    /// The grid and player that show one scale form.
    struct FormControls
    {
        model::ScaleForm form;
        TStringGrid *grid;
        playback::ScalePlayer *player;
    };

    QLabel *createLabel(const char *utf8Text, int left, int top);
    QLabel *createCreditLabel(const char *utf8Text, int top);
    TStringGrid *createGrid(int top, const char *utf8Hint);
    void toggleHeadings(TStringGrid *grid, model::ScaleForm form);
    std::array<FormControls, 3> formControls() const;
    void scaleToScreen();

    model::HarmonicField m_harmonicField;
};

} // namespace quiralto::ui
