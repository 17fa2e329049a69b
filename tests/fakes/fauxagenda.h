#pragma once
// The backend's four agenda functions on a FauxSupabase, served from a
// calendar file the test writes (read again at every request):
//   {"fournisseurs": ["google", "microsoft"],
//    "connexions": [{"fournisseur": "google", "email": "lea@vendeur.fr"}],
//    "evenements": [{"id": "e1", "titre": "…", "debut": "2026-03-02T09:10:00Z", "invites": […]}],
//    "erreurs": {"microsoft": "lecture_impossible"}, "revoques": ["google"]}
// "agenda/connecter" answers a consent page on https (or `pageConsentement`);
// "agenda/deconnecter" takes the provider's connection and meetings out of the file.
#include "fakes/fauxsupabase.h"

#include <QJsonObject>
#include <QString>

namespace vd::fakes {

class FauxAgenda {
public:
    FauxAgenda(FauxSupabase& serveur, QString fichier);

    // Writes the calendar file.
    void ecrire(const QJsonObject& calendrier) const;
    QJsonObject lire() const;

    QString pageConsentement = QStringLiteral("https://consentement.exemple.test/autoriser");
    int lectures = 0;
    QStringList connexionsDemandees, deconnexionsDemandees;
    QList<QJsonObject> corpsConnexion;

private:
    QString fichier_;
};

} // namespace vd::fakes
