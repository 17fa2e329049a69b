#include "fakes/fauxagenda.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace vd::fakes {

FauxAgenda::FauxAgenda(FauxSupabase& serveur, QString fichier) : fichier_(std::move(fichier))
{
    serveur.surFonction(QStringLiteral("agenda/etat"), [this](const RequeteHttp&) {
        const QJsonObject c = lire();
        QJsonArray fournisseurs = c.value(QStringLiteral("fournisseurs")).toArray();
        if (!c.contains(QStringLiteral("fournisseurs")))
            fournisseurs = {QStringLiteral("google"), QStringLiteral("microsoft")};
        return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("connexions"), c.value(QStringLiteral("connexions")).toArray()},
                                                         {QStringLiteral("fournisseurs"), fournisseurs}});
    });
    serveur.surFonction(QStringLiteral("agenda/evenements"), [this](const RequeteHttp&) {
        ++lectures;
        QJsonObject c = lire();
        c.remove(QStringLiteral("fournisseurs"));
        for (const char* cle : {"connexions", "evenements", "revoques"})
            if (!c.contains(QLatin1String(cle)))
                c.insert(QLatin1String(cle), QJsonArray());
        if (!c.contains(QStringLiteral("erreurs")))
            c.insert(QStringLiteral("erreurs"), QJsonObject());
        return ReponseHttpFactice::json(200, c);
    });
    serveur.surFonction(QStringLiteral("agenda/connecter"), [this](const RequeteHttp& r) {
        const QJsonObject corps = r.json().toObject();
        corpsConnexion.append(corps);
        connexionsDemandees.append(corps.value(QStringLiteral("fournisseur")).toString());
        return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("url"), pageConsentement}});
    });
    serveur.surFonction(QStringLiteral("agenda/deconnecter"), [this](const RequeteHttp& r) {
        const QString f = r.json().toObject().value(QStringLiteral("fournisseur")).toString();
        deconnexionsDemandees.append(f);
        QJsonObject c = lire();
        for (const char* cle : {"connexions", "evenements"}) {
            QJsonArray garde;
            for (const QJsonValue& v : c.value(QLatin1String(cle)).toArray())
                if (v.toObject().value(QStringLiteral("fournisseur")).toString(QStringLiteral("google")) != f)
                    garde.append(v);
            c.insert(QLatin1String(cle), garde);
        }
        ecrire(c);
        return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("ok"), true}});
    });
}

void FauxAgenda::ecrire(const QJsonObject& calendrier) const
{
    QSaveFile f(fichier_);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(calendrier).toJson());
        f.commit();
    }
}

QJsonObject FauxAgenda::lire() const
{
    QFile f(fichier_);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace vd::fakes
