#include "echangesynchro.h"

#include "echangesynchro_acces.h"

namespace vd::cloud::synchro {

using namespace detail;

const QList<Collection>& collections()
{
    static const QList<Collection> c{
        {QStringLiteral("contacts"), QStringLiteral("contacts")},
        {QStringLiteral("interactions"), QStringLiteral("interactions")},
        {QStringLiteral("profils_clients"), QStringLiteral("profilsClients")},
        {QStringLiteral("objections_lib"), QStringLiteral("objections")},
        {QStringLiteral("frameworks"), QStringLiteral("frameworks")},
        {QStringLiteral("appels"), QStringLiteral("appels")},
    };
    return c;
}

QString filPourCle(const QString& cle)
{
    for (const Collection& c : collections())
        if (c.cle == cle)
            return c.fil;
    return {};
}

namespace {

QJsonObject objetEntreprise(const model::Entreprise& e) { return QJsonDocument::fromJson(encoder(e)).object(); }

} // namespace

QString empreinte(const model::Entreprise& e)
{
    // QJsonObject keeps its keys sorted and never escapes "/".
    const QByteArray json = QJsonDocument(objetEntreprise(e)).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex());
}

QJsonObject Lot::changements() const
{
    QJsonObject o;
    for (auto it = objets.begin(); it != objets.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

namespace {

struct Candidat {
    QString fil, id, majLe;
    QByteArray octets;
    bool appel = false;
};

class Constructeur {
public:
    Constructeur(EtatDisque& d, const ParametresLot& p) : d_(d), p_(p) {}

    // False once the batch can take nothing more of that kind.
    bool plein(bool appel) const
    {
        return lot.nbObjets >= p_.limiteObjets || (appel && lot.nbAppels >= p_.limiteAppels);
    }

    void ajouterTombe(const QString& fil, const QString& id, const QString& le)
    {
        if (lot.nbObjets >= p_.limiteObjets) {
            ++lot.restant;
            return;
        }
        QJsonObject t{{QStringLiteral("id"), id}, {QStringLiteral("supprimeLe"), le}};
        lot.objets[fil].append(t);
        lot.suppressions[fil].insert(id, le);
        lot.octets += 48 + id.size();
        ++lot.nbObjets;
    }

    template<typename T>
    void proposer(const QString& fil, const T& r)
    {
        const QString id = idDe(r);
        if (id.isEmpty())
            return;
        const QString maj = majLeDe(r);
        if (const QString* connu = chercher(d_.connus, fil, id); connu && comparerInstants(maj, *connu) <= 0)
            return;
        if (d_.demonstration.value(fil).contains(id) || d_.autres.contains(id))
            return;
        const bool appel = fil == appels;
        if (appel) {
            if (enDirect(r) || p_.appelsEnDirect.contains(id))
                return;
            const auto compte = compteDe(r);
            if (compte && !compte->isEmpty() && !p_.compteId.isEmpty() && *compte != p_.compteId)
                return;
        }
        if (const QString* ref = chercher(d_.refuses, fil, id); ref && *ref == maj)
            return;
        if (p_.exclus.contains(fil + QLatin1Char('/') + id))
            return;
        if (plein(appel)) {
            ++lot.restant;
            return;
        }
        QByteArray octets = encoder(r);
        if (octets.size() >= tailleVolumineux) {
            if (!volumineux_)
                volumineux_ = Candidat{fil, id, maj, std::move(octets), appel};
            else
                ++lot.restant;
            return;
        }
        if (!lot.vide() && lot.octets + octets.size() > tailleMaxLot) {
            ++lot.restant;
            return;
        }
        mettre(Candidat{fil, id, maj, std::move(octets), appel});
    }

    void mettre(Candidat c)
    {
        QJsonObject o = QJsonDocument::fromJson(c.octets).object();
        const QJsonObject extras = d_.extras.value(c.fil).value(c.id);
        for (auto it = extras.begin(); it != extras.end(); ++it)
            if (!o.contains(it.key()))
                o.insert(it.key(), it.value());
        lot.objets[c.fil].append(o);
        lot.envoyes[c.fil].insert(c.id, c.majLe);
        lot.octets += c.octets.size();
        ++lot.nbObjets;
        if (c.appel)
            ++lot.nbAppels;
    }

    // The oversized record travels only in a batch of its own.
    void terminer()
    {
        if (!volumineux_)
            return;
        if (lot.vide()) {
            mettre(std::move(*volumineux_));
            lot.volumineux = true;
        } else {
            ++lot.restant;
        }
    }

    Lot lot;

private:
    EtatDisque& d_;
    const ParametresLot& p_;
    std::optional<Candidat> volumineux_;
};

} // namespace

Lot construireLot(const model::Etat& etat, EtatDisque& disque, const ParametresLot& p)
{
    Constructeur c(disque, p);
    for (auto it = disque.suppressions.cbegin(); it != disque.suppressions.cend(); ++it)
        for (auto j = it.value().cbegin(); j != it.value().cend(); ++j)
            c.ajouterTombe(it.key(), j.key(), j.value());

    // The company profile: stamped when its content changed since last seen.
    const model::Entreprise vide;
    if (etat.entreprise != vide || disque.entrepriseSynchro) {
        const QString e = empreinte(etat.entreprise);
        if (!disque.entrepriseLocale || disque.entrepriseLocale->empreinte != e) {
            const QString cree = disque.entrepriseLocale ? disque.entrepriseLocale->creeLe : p.maintenant;
            disque.entrepriseLocale = Empreinte{e, p.maintenant, cree.isEmpty() ? p.maintenant : cree};
        }
        if (!disque.entrepriseSynchro || disque.entrepriseSynchro->empreinte != e) {
            if (c.plein(false)) {
                ++c.lot.restant;
            } else {
                QJsonObject o = objetEntreprise(etat.entreprise);
                o.insert(QStringLiteral("majLe"), disque.entrepriseLocale->majLe);
                o.insert(QStringLiteral("creeLe"), disque.entrepriseLocale->creeLe);
                c.lot.objets[entreprises].append(o);
                c.lot.entreprise = disque.entrepriseLocale;
                ++c.lot.nbObjets;
            }
        }
    }

    for (const Collection& col : collections())
        visiter(etat, col.fil, [&](const auto& liste) {
            for (const auto& r : liste)
                c.proposer(col.fil, r);
        });
    c.terminer();
    return c.lot;
}

ResumeLocal resumer(const model::Etat& etat, const EtatDisque& disque)
{
    ResumeLocal r;
    auto compter = [&](const QString& fil, const auto& liste) {
        int n = 0;
        const QSet<QString> demo = disque.demonstration.value(fil);
        for (const auto& x : liste)
            if (!demo.contains(idDe(x)))
                ++n;
        return n;
    };
    r.contacts = compter(QStringLiteral("contacts"), etat.contacts);
    r.interactions = compter(QStringLiteral("interactions"), etat.interactions);
    r.appels = compter(appels, etat.appels);
    r.profils = compter(QStringLiteral("profils_clients"), etat.profilsClients);
    r.objections = compter(QStringLiteral("objections_lib"), etat.objections);
    r.entreprise = etat.entreprise != model::Entreprise{} && disque.demonstration.isEmpty();
    return r;
}

} // namespace vd::cloud::synchro
