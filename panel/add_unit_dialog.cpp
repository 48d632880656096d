#include "panel/add_unit_dialog.h"

#include "core/settings_store.h"
#include "session/units.h"
#include "ui/window_font.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

AddUnitDialog::AddUnitDialog(Units& units, QWidget* parent) : QWidget(parent), units_(units) {
    setObjectName(QStringLiteral("AddUnitDialog"));
    setWindowTitle(QStringLiteral("Add unit"));
    setFont(WindowFont());
    setAttribute(Qt::WA_DeleteOnClose);
    port = new QComboBox(this);
    for (int n = 1; n <= 4; ++n)
        port->addItem(QStringLiteral("COM%1").arg(n), n);
    model = new QComboBox(this);
    model->addItem(ModelCaption(Model::Small1A20V), int(Model::Small1A20V));
    model->addItem(ModelCaption(Model::Large2A5_25V), int(Model::Large2A5_25V));
    name = new QLineEdit(DefaultUnitName(units.count() + 1), this);
    name->setMaxLength(64);
    add = new QPushButton(QStringLiteral("Add"), this);
    add->setDefault(true);
    problem = new QLabel(this);
    problem->setWordWrap(true);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Port:"), port);
    form->addRow(QStringLiteral("Model:"), model);
    form->addRow(QStringLiteral("Name:"), name);
    form->addRow(problem);
    form->addRow(add);
    connect(add, &QPushButton::clicked, this, [this] {
        if (addUnit() > 0) close();
    });
}

int AddUnitDialog::addUnit() {
    QString why;
    const int number = units_.add(qint16(port->currentData().toInt()),
                                  Model(model->currentData().toInt()), name->text().trimmed(), &why);
    problem->setText(number > 0 ? QString() : why);
    if (number > 0) emit added(number);
    return number;
}

} // namespace velmora
