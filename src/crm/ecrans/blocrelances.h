#pragma once
// The follow-up block of a call sheet: the proposed sequence, and once it is
// activated its steps with their send buttons, stop and the prospect's reply.
#include "crm/relances.h"
#include "ui/contexte.h"

#include <QFrame>
class QVBoxLayout;

namespace vd::crm {

class BlocRelances : public QFrame {
    Q_OBJECT
public:
    BlocRelances(ui::Contexte& ctx, const QString& appelId, QWidget* parent = nullptr);

    static QString texteEnCours();
    static QString messageEnregistre();
    static QString messageRetire();
    static QString messageCanal();
    static QString messageVide();

private:
    void remplir();
    // Under a step: its writing state or error, "L'écrire moi-même", edit and remove.
    void ajouterEdition(const CibleRelance& cible, const QJsonObject& etape, bool enMarche);
    void modifier(const CibleRelance& cible, const QJsonObject& etape, bool redaction);
    void repondre(const QString& contactId, const QString& type);
    ui::Contexte& ctx_;
    QString appelId_;
    QVBoxLayout* corps_ = nullptr;
    bool enAttente_ = false;
};

} // namespace vd::crm
