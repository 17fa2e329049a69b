#pragma once
// The coming meetings, day by day, each with the contact it was matched to
// and how; the calendar connections (connect, cancel a pending one,
// disconnect); the agenda's last message (a withdrawn grant among them).
#include "ui/ecrans/ecranbase.h"

#include <QPointer>

class QLabel;
class QVBoxLayout;

namespace vd::agenda {

class Agenda;
struct EvenementAgenda;

class EcranAgenda : public ui::EcranBase {
    Q_OBJECT
public:
    EcranAgenda(ui::Contexte& ctx, Agenda* agenda, QWidget* parent = nullptr);
    QString titre() const override { return QStringLiteral("Agenda"); }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const ui::Ecran&) override;

    // How a meeting was matched, as its line reads.
    static QString texteReconnaissance(const EvenementAgenda& e, const QString& nomContact);
    QLabel* message() const { return message_; }
    // Asks for a meeting's brief (set by the application; none: no button).
    std::function<void(const QString& evenementId)> preparerBrief;

private:
    void planifier();
    void reconstruire();
    QWidget* ligne(const EvenementAgenda& e, const QHash<QString, QString>& noms, QWidget* parent);

    QPointer<Agenda> agenda_;
    QLabel* message_ = nullptr;
    QVBoxLayout* connexions_ = nullptr;
    QVBoxLayout* jours_ = nullptr;
    bool planifie_ = false;
};

} // namespace vd::agenda
