#pragma once
// A scripted "synchroniser" for the synchronisation tests: records kept per
// collection with a write counter as cursor, a write only when its majLe is
// later as an instant, one's own writes handed back from the next pull on (as
// the real server does), and hooks to refuse records or change the answer;
// and the contact these tests write locally.
#include "cloud/etatdisque.h"
#include "fakes/fauxsupabase.h"
#include "model/contact.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <map>

namespace vd::tests {

inline model::Contact contact(const QString& id, const QString& majLe = QStringLiteral("2026-03-01T09:00:00.000Z"),
                              const QString& nom = QStringLiteral("Durand"))
{
    model::Contact c;
    c.id = id;
    c.nom = nom;
    c.creeLe = QStringLiteral("2026-03-01T08:00:00.000Z");
    c.majLe = majLe;
    return c;
}

struct ServeurSynchro {
    struct Ligne {
        QJsonObject objet;
        qint64 seq = 0;
    };
    std::map<QString, std::map<QString, Ligne>> donnees;
    qint64 compteur = 0;
    int limitePull = 1000;
    QString compteId = QStringLiteral("compte-lea");
    std::function<QString(const QString& collection, const QJsonObject&)> refuser;   // a reason, or empty
    std::function<std::optional<QJsonObject>(const QJsonObject& corps)> reponseForcee;
    QList<QJsonObject> corps;   // every request body

    int nombreEnvoyes(const QString& collection = QStringLiteral("contacts")) const
    {
        int n = 0;
        for (const QJsonObject& c : corps)
            n += c.value(QStringLiteral("p_changements")).toObject().value(collection).toArray().size();
        return n;
    }
    QJsonArray envoyes(int requete, const QString& collection = QStringLiteral("contacts")) const
    {
        return corps.value(requete).value(QStringLiteral("p_changements")).toObject().value(collection).toArray();
    }
    // How many records of the collection each request carried, in order.
    QList<qsizetype> tailles(const QString& collection = QStringLiteral("contacts")) const
    {
        QList<qsizetype> r;
        for (qsizetype i = 0; i < corps.size(); ++i)
            r << envoyes(int(i), collection).size();
        return r;
    }

    // Writes as another computer of the same account would.
    void ecrire(const QString& collection, QJsonObject o)
    {
        o.insert(QStringLiteral("compteId"), o.value(QStringLiteral("compteId")).toString(compteId));
        donnees[collection][o.value(QStringLiteral("id")).toString()] = Ligne{o, ++compteur};
    }
    void ecrire(const QString& collection, const char* json) { ecrire(collection, QJsonDocument::fromJson(json).object()); }

    void installer(fakes::FauxSupabase& serveur)
    {
        serveur.surProcedure(QStringLiteral("synchroniser"), [this](const fakes::RequeteHttp& r) {
            const QJsonObject c = r.json().toObject();
            corps.append(c);
            if (reponseForcee)
                if (auto f = reponseForcee(c))
                    return fakes::ReponseHttpFactice::json(200, *f);
            return fakes::ReponseHttpFactice::json(200, traiter(c));
        });
    }

    QJsonObject traiter(const QJsonObject& c)
    {
        const qint64 borne = compteur;
        QJsonArray refuses;
        const QJsonObject ch = c.value(QStringLiteral("p_changements")).toObject();
        for (auto it = ch.begin(); it != ch.end(); ++it)
            for (const QJsonValue& v : it.value().toArray()) {
                QJsonObject o = v.toObject();
                const QString id = o.value(QStringLiteral("id")).toString(
                    it.key() == QLatin1String("entreprises_profil") ? QStringLiteral("entreprise") : QString());
                const QString raison = refuser ? refuser(it.key(), o) : QString();
                if (!raison.isEmpty()) {
                    refuses.append(QJsonObject{{QStringLiteral("collection"), it.key()}, {QStringLiteral("id"), id},
                                               {QStringLiteral("raison"), raison}});
                    continue;
                }
                const bool tombe = o.contains(QStringLiteral("supprimeLe"));
                const QString maj = o.value(tombe ? QStringLiteral("supprimeLe") : QStringLiteral("majLe")).toString();
                auto& col = donnees[it.key()];
                const auto ex = col.find(id);
                if (ex != col.end()) {
                    const QJsonObject& s = ex->second.objet;
                    const QString majS = s.value(s.contains(QStringLiteral("supprimeLe")) ? QStringLiteral("supprimeLe")
                                                                                            : QStringLiteral("majLe")).toString();
                    if (cloud::comparerInstants(maj, majS) <= 0)
                        continue;
                }
                if (tombe)
                    o = QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("supprimeLe"), maj}};
                o.insert(QStringLiteral("compteId"), compteId);
                col[id] = Ligne{o, ++compteur};
            }
        const QJsonValue dv = c.value(QStringLiteral("p_depuis"));
        const qint64 depuis = dv.isString() ? dv.toString().toLongLong() : 0;
        std::vector<std::pair<qint64, std::pair<QString, QJsonObject>>> a;
        for (const auto& [col, lignes] : donnees)
            for (const auto& [id, l] : lignes)
                if (l.seq > depuis && l.seq <= borne)
                    a.push_back({l.seq, {col, l.objet}});
        std::sort(a.begin(), a.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        const bool complet = int(a.size()) <= limitePull;
        if (!complet)
            a.resize(limitePull);
        QJsonObject changements;
        for (const auto& [seq, p] : a) {
            QJsonArray arr = changements.value(p.first).toArray();
            arr.append(p.second);
            changements.insert(p.first, arr);
        }
        const qint64 prochain = complet ? std::max(borne, depuis) : a.back().first;
        return QJsonObject{{QStringLiteral("changements"), changements}, {QStringLiteral("refuses"), refuses},
                           {QStringLiteral("prochain_depuis"), QString::number(prochain)},
                           {QStringLiteral("complet"), complet}};
    }
};

} // namespace vd::tests
