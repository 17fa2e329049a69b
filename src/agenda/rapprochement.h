#pragma once
// Finds the contact a meeting is with: by the invitee's address first, then by
// the company domain (never a consumer mail domain, never the user's own).
// The indexes are built once per contact list, so a meeting costs what its
// invitees weigh, not what the contact list weighs.
#include "agenda/typesagenda.h"
#include "model/contact.h"

#include <QHash>
#include <QSet>

namespace vd::agenda {

// Lower-cased, every white space removed.
QString emailNormalise(const QString& email);
// Usable: an "@" that is neither the first nor the last character.
bool emailUtilisable(const QString& normalise);
// What follows the last "@" (empty when unusable).
QString domaineEmail(const QString& normalise);
bool domaineGrandPublic(const QString& domaine);
const QSet<QString>& domainesGrandPublic();

class IndexContacts {
public:
    IndexContacts() = default;
    explicit IndexContacts(const QList<model::Contact>& contacts);
    std::optional<QString> parEmail(const QString& normalise) const { return trouver(parEmail_, normalise); }
    std::optional<QString> parDomaine(const QString& domaine) const { return trouver(parDomaine_, domaine); }
    int taille() const { return int(parEmail_.size()); }

private:
    static std::optional<QString> trouver(const QHash<QString, QString>& h, const QString& cle)
    {
        auto it = h.constFind(cle);
        return it == h.constEnd() ? std::nullopt : std::optional<QString>(it.value());
    }
    QHash<QString, QString> parEmail_;    // normal e-mail → contact id
    QHash<QString, QString> parDomaine_;  // company domain → contact id
};

// The user's own addresses and company domains.
struct Identite {
    QSet<QString> emails;      // normal form
    QSet<QString> domaines;    // company domains of those addresses (consumer domains left out)
    static Identite depuis(const std::optional<QString>& emailCompte, const QList<ConnexionAgenda>& connexions);
};

namespace RapprochementAgenda {

struct Reconnaissance {
    QString contactId;
    InviteAgenda invite;
    bool parDomaine = false;
    bool operator==(const Reconnaissance&) const = default;
};

// The organiser and the invitees, without the user, the declined and the
// unusable addresses; each address once (in normal form).
QList<InviteAgenda> invitesExterieurs(const RendezVousAgenda& r, const Identite& moi);
std::optional<Reconnaissance> reconnaitre(const QList<InviteAgenda>& exterieurs, const IndexContacts& index,
                                          const Identite& moi);
EvenementAgenda deriver(const RendezVousAgenda& r, const IndexContacts& index, const Identite& moi);
// Every meeting not cancelled, in time order (then by id).
QList<EvenementAgenda> deriver(const QList<RendezVousAgenda>& rendezVous, const IndexContacts& index,
                               const Identite& moi);

} // namespace RapprochementAgenda

} // namespace vd::agenda
