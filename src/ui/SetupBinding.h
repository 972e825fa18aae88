#pragma once
// Controls of the setup pages bound to the option they show: each takes the option's value when
// made and writes into it the moment the user changes it, so the option is live while the
// dialog is open and nothing needs applying when it closes.
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>

#include <string>

// The control's object name is the name the settings table gives it.
inline QCheckBox *BoundCheck(QWidget *parent, const char *name, const QString &caption, bool &option)
{
    auto *check = new QCheckBox(caption, parent);
    check->setObjectName(name);
    check->setChecked(option);
    QObject::connect(check, &QCheckBox::toggled, check, [&option](bool on) { option = on; });
    return check;
}

inline QLineEdit *BoundEdit(QWidget *parent, const char *name, std::string &option)
{
    auto *edit = new QLineEdit(QString::fromStdString(option), parent);
    edit->setObjectName(name);
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [&option](const QString &text) { option = text.toStdString(); });
    return edit;
}

// The value shown is kept within [minimum, maximum]; a stored value outside stays stored until
// the user changes the control.
inline QSpinBox *BoundSpin(QWidget *parent, const char *name, int minimum, int maximum, int &option)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(minimum, maximum);
    spin->setValue(option);
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [&option](int value) { option = value; });
    return spin;
}
