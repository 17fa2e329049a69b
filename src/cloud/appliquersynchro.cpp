// Writing the server's changes into the state.
#include "echangesynchro.h"

#include "echangesynchro_acces.h"

#include <QJsonArray>

namespace vd::cloud::synchro {

using namespace detail;

namespace {

const QString cleCompte = QStringLiteral("compteId");

class Applicateur {
public:
    Applicateur(EtatDisque& d, const QString& compteId, const QSet<QString>& direct)
        : d_(d), compteId_(compteId), direct_(direct)
    {
    }

    template<typename T>
    void collection(const QString& fil, QList<T>& liste, const QJsonArray& recus)
    {
        QHash<QString, qsizetype> index;
        index.reserve(liste.size());
        for (qsizetype i = 0; i < liste.size(); ++i)
            index.insert(idDe(liste.at(i)), i);
        QList<qsizetype> aRetirer;
        for (const QJsonValue& v : recus) {
            const QJsonObject o = v.toObject();
            const QString id = o.value(QStringLiteral("id")).toString();
            if (id.isEmpty())
                continue;
            const bool tombe = o.contains(QStringLiteral("supprimeLe"));
            const QString maj = o.value(tombe ? QStringLiteral("supprimeLe") : QStringLiteral("majLe")).toString();
            if (fil == appels && direct_.contains(id))
                continue;
            const auto pos = index.constFind(id);
            const T* local = pos != index.cend() ? &liste.at(*pos) : nullptr;
            if (local && enDirect(*local))
                continue;
            if (local && !tombe && majLeDe(*local) == maj) {
                d_.connus[fil].insert(id, maj);   // already here (our own push coming back)
                continue;
            }
            if (local && nonEnvoye(fil, id, majLeDe(*local)) && comparerInstants(maj, majLeDe(*local)) <= 0)
                continue;
            // A local deletion not yet acknowledged wins over an older server version.
            if (const QString* s = chercher(d_.suppressions, fil, id); s && comparerInstants(maj, *s) <= 0)
                continue;
            if (tombe) {
                d_.connus[fil].remove(id);
                d_.extras[fil].remove(id);
                d_.autres.remove(id);
                d_.suppressions[fil].remove(id);
                if (local) {
                    aRetirer.append(*pos);
                    ++r.recus;
                }
                continue;
            }
            auto rec = decoder<T>(o);
            if (!rec || idDe(*rec) != id)
                continue;
            noterExtras(fil, id, o, *rec);
            const QString compte = o.value(cleCompte).toString();
            if (!compte.isEmpty() && !compteId_.isEmpty() && compte != compteId_)
                d_.autres.insert(id);
            else
                d_.autres.remove(id);
            d_.connus[fil].insert(id, maj);
            if (local) {
                liste[*pos] = std::move(*rec);
            } else {
                index.insert(id, liste.size());
                liste.append(std::move(*rec));
            }
            ++r.recus;
        }
        if (!aRetirer.isEmpty()) {
            std::sort(aRetirer.begin(), aRetirer.end(), std::greater<>());
            for (qsizetype i : aRetirer)
                liste.removeAt(i);
        }
    }

    Application r;

private:
    bool nonEnvoye(const QString& fil, const QString& id, const QString& majLocal) const
    {
        const QString* connu = chercher(d_.connus, fil, id);
        return !connu || comparerInstants(majLocal, *connu) > 0;
    }

    // Server fields the local form has no place for, sent back with the record.
    template<typename T>
    void noterExtras(const QString& fil, const QString& id, const QJsonObject& serveur, const T& rec)
    {
        const QJsonObject local = QJsonDocument::fromJson(encoder(rec)).object();
        QJsonObject extras;
        for (auto it = serveur.begin(); it != serveur.end(); ++it)
            if (it.key() != cleCompte && !local.contains(it.key()))
                extras.insert(it.key(), it.value());
        if (extras.isEmpty())
            d_.extras[fil].remove(id);
        else
            d_.extras[fil].insert(id, extras);
    }

    EtatDisque& d_;
    const QString& compteId_;
    const QSet<QString>& direct_;
};

} // namespace

Application appliquer(model::Etat& etat, EtatDisque& disque, const QJsonObject& changements, const QString& compteId,
                      const QSet<QString>& appelsEnDirect)
{
    Applicateur a(disque, compteId, appelsEnDirect);
    for (auto it = changements.begin(); it != changements.end(); ++it) {
        const QString fil = it.key();
        const QJsonArray recus = it.value().toArray();
        if (fil == entreprises) {
            for (const QJsonValue& v : recus) {
                QJsonObject o = v.toObject();
                if (o.contains(QStringLiteral("supprimeLe")))
                    continue;   // the profile is never removed, only edited
                const QString maj = o.value(QStringLiteral("majLe")).toString();
                const QString cree = o.value(QStringLiteral("creeLe")).toString();
                for (const char* k : {"majLe", "creeLe", "compteId", "id"})
                    o.remove(QLatin1String(k));
                auto e = model::Entreprise::depuisJson(QJsonValue(o));
                if (!e)
                    continue;
                const QString fLocale = empreinte(etat.entreprise);
                const bool localNonEnvoye = !disque.entrepriseSynchro || disque.entrepriseSynchro->empreinte != fLocale;
                if (localNonEnvoye && disque.entrepriseLocale && comparerInstants(maj, disque.entrepriseLocale->majLe) <= 0)
                    continue;
                const Empreinte em{empreinte(*e), maj, cree};
                disque.entrepriseSynchro = em;
                disque.entrepriseLocale = em;
                if (etat.entreprise != *e) {
                    etat.entreprise = std::move(*e);
                    ++a.r.recus;
                }
            }
            continue;
        }
        const bool vu = visiter(etat, fil, [&](auto& liste) { a.collection(fil, liste, recus); });
        if (vu && fil == frameworks)
            disque.frameworksCharges = true;
    }
    a.r.etatModifie = a.r.recus > 0;
    return a.r;
}

} // namespace vd::cloud::synchro
