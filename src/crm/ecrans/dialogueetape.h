#pragma once
// Editing one follow-up step: its subject, message, date and channel
// ("Modifier le message, la date ou le canal"), or only its message when the
// user writes it instead of the writing pass ("L'écrire moi-même").
#include <QDialog>
#include <QJsonObject>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace vd::crm {

class DialogueEtape : public QDialog {
    Q_OBJECT
public:
    // etape: the step as stored (id, date, canal, objet, message).
    DialogueEtape(const QJsonObject& etape, bool redaction, QWidget* parent = nullptr);

    // What changed, as Relances::modifierEtape takes it (only the fields that differ).
    QJsonObject champs() const;
    QLineEdit* objet() const { return objet_; }
    QPlainTextEdit* message() const { return message_; }
    QLineEdit* date() const { return date_; }
    QComboBox* canal() const { return canal_; }

private:
    QJsonObject etape_;
    QLineEdit* objet_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
    QLineEdit* date_ = nullptr;
    QComboBox* canal_ = nullptr;
};

} // namespace vd::crm
