#pragma once
// The "Sound" page: per event a switch, the sound file, "Browse..." and a play button.
#include <QWidget>

#include <array>

class Fernhop;
class QLineEdit;
class QPushButton;
class QToolButton;
class TCheckBox95;
class TPagesDlg;

class SetupSoundPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupSoundPage(TPagesDlg &dialog);

    // Index i is event i + 1 (Start ... Error); the buttons carry that number as their tag
    // (property "tag").
    std::array<TCheckBox95 *, 8> checks{};
    std::array<QLineEdit *, 8> edits{};
    std::array<QPushButton *, 8> browseButtons{};
    std::array<QToolButton *, 8> playButtons{};

    void BrowseClick(int event);
    void PlayClick(int event);

private:
    TPagesDlg &dialog_;
    Fernhop &app_;
};
