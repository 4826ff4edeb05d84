#include "ui/dialog_form.h"

#include "foundation/err.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

QLabel* add_field_label(QWidget* parent, QGridLayout* grid, int row, const QString& caption,
                        QWidget* field, const QString& hint) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(field);
    label->setToolTip(hint);
    field->setToolTip(hint);
    field->setFont(font_value_big);
    grid->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QDialogButtonBox* add_ok_cancel(QDialog* dialog, QBoxLayout* layout, const QString& caption_ok,
                                const QString& hint_ok, const QString& hint_cancel,
                                Ok_cancel_codes codes, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QDialogButtonBox(Qt::Horizontal, dialog);
    ok = buttons->addButton(caption_ok, QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btn_ok"));
    ok->setToolTip(hint_ok + hint_save_later());
    cancel = buttons->addButton(caption_cancel(), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btn_cancel"));
    cancel->setToolTip(hint_cancel);
    layout->addWidget(buttons);
    if (!QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept))
        log_debug(codes.accepted);
    if (!QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject))
        log_debug(codes.rejected);
    return buttons;
}
