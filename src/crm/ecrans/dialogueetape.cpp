#include "dialogueetape.h"

#include "ui/ecrans/style.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vd::crm {

DialogueEtape::DialogueEtape(const QJsonObject& etape, bool redaction, QWidget* parent) : QDialog(parent), etape_(etape)
{
    setObjectName(QStringLiteral("dialogueEtape"));
    setWindowTitle(redaction ? QStringLiteral("L'écrire moi-même") : QStringLiteral("Modifier le message, la date ou le canal"));
    auto* l = new QVBoxLayout(this);
    auto* f = new QFormLayout;
    objet_ = new QLineEdit(etape.value(QLatin1String("objet")).toString(), this);
    objet_->setObjectName(QStringLiteral("objetEtape"));
    message_ = new QPlainTextEdit(this);
    // Plain text only: a message is never read as markup.
    message_->setPlainText(etape.value(QLatin1String("message")).toString());
    message_->setObjectName(QStringLiteral("messageEtape"));
    message_->setMinimumHeight(140);
    date_ = new QLineEdit(etape.value(QLatin1String("date")).toString(), this);
    date_->setObjectName(QStringLiteral("dateEtape"));
    date_->setPlaceholderText(QStringLiteral("AAAA-MM-JJ"));
    canal_ = new QComboBox(this);
    canal_->setObjectName(QStringLiteral("canalEtape"));
    canal_->addItem(QStringLiteral("Email"), QStringLiteral("email"));
    canal_->addItem(QStringLiteral("WhatsApp"), QStringLiteral("whatsapp"));
    canal_->addItem(QStringLiteral("Autre"), QStringLiteral("autre"));
    canal_->setCurrentIndex(qMax(0, canal_->findData(etape.value(QLatin1String("canal")).toString())));
    f->addRow(QStringLiteral("Objet"), objet_);
    f->addRow(QStringLiteral("Message"), message_);
    if (!redaction) {
        f->addRow(QStringLiteral("Date"), date_);
        f->addRow(QStringLiteral("Canal"), canal_);
    } else {
        date_->hide();
        canal_->hide();
    }
    l->addLayout(f);
    auto* boutons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    boutons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Enregistrer"));
    boutons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    l->addWidget(boutons);
    if (redaction)
        message_->setFocus();
}

QJsonObject DialogueEtape::champs() const
{
    QJsonObject c;
    auto si = [&](const char* cle, const QString& v) {
        if (v != etape_.value(QLatin1String(cle)).toString())
            c.insert(QLatin1String(cle), v);
    };
    si("objet", objet_->text().trimmed());
    si("message", message_->toPlainText().trimmed());
    si("date", date_->text().trimmed());
    si("canal", canal_->currentData().toString());
    return c;
}

} // namespace vd::crm
