#pragma once
// A label showing a path shortened with "..." to fit its width: it keeps the drive and the last
// part, and as many of the other parts as fit, counted from the last part (drFromLeft) or from
// the start (drFromRight).
#include <QLabel>
#include <QStringList>

enum TDirection { drFromLeft, drFromRight };

class FileLabel : public QLabel {
    Q_OBJECT
public:
    explicit FileLabel(QWidget *parent = nullptr);

    QString FileName() const { return fileName_; }
    void SetFileName(const QString &fileName);
    QString Separator() const { return separator_; }
    void SetSeparator(const QString &separator);
    TDirection Direction() const { return direction_; }
    void SetDirection(TDirection direction);

    // The text the label shows at the given width in its font.
    QString Shortened(int width) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void Split();
    void Shorten();
    int TextWidth() const;

    QString fileName_;
    QString separator_ = QStringLiteral("\\");
    TDirection direction_ = drFromLeft;
    QStringList parts_;
    bool drive_ = false;
};
