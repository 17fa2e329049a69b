#include "libelles.h"

#include "ai/moteur.h"
#include "model/etat.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>

namespace vd::ui::libelles {

QString typeAppel(const QString& type)
{
    static const QHash<QString, QString> t = {
        {QStringLiteral("prospection"), QStringLiteral("Prospection")}, {QStringLiteral("decouverte"), QStringLiteral("Découverte")},
        {QStringLiteral("demo"), QStringLiteral("Démo")},               {QStringLiteral("suivi"), QStringLiteral("Suivi")},
        {QStringLiteral("closing"), QStringLiteral("Closing")},         {QStringLiteral("negociation"), QStringLiteral("Négociation")},
        {QStringLiteral("upsell"), QStringLiteral("Développement")},    {QStringLiteral("relance"), QStringLiteral("Relance")},
    };
    if (auto it = t.constFind(type); it != t.constEnd())
        return *it;
    return type.isEmpty() ? QStringLiteral("Appel") : type.left(1).toUpper() + type.mid(1);
}

QString statutAppel(const QString& statut)
{
    if (statut == QLatin1String("en_cours"))
        return QStringLiteral("En cours");
    if (statut == QLatin1String("analyse"))
        return QStringLiteral("Analysé");
    if (statut == QLatin1String("termine"))
        return QStringLiteral("Terminé");
    if (statut == QLatin1String("erreur"))
        return QStringLiteral("Analyse échouée");
    return QStringLiteral("Terminé");
}

QString traitementObjection(const QString& traitement)
{
    const QString t = traitement.trimmed().toLower();
    if (t == QLatin1String("oui"))
        return QStringLiteral("Traitée");
    if (t == QLatin1String("partiel"))
        return QStringLiteral("Traitée en partie");
    if (t == QLatin1String("non"))
        return QStringLiteral("Non traitée");
    return traitement.trimmed();
}

QString langue(const QString& code)
{
    if (code == QLatin1String("en"))
        return QStringLiteral("Anglais");
    if (code == QLatin1String("multi"))
        return QStringLiteral("Détection auto");
    return QStringLiteral("Français");
}

QString methode(const QString& code)
{
    static const QHash<QString, QString> t = {{QStringLiteral("aucune"), QStringLiteral("Aucune méthode")},
                                              {QStringLiteral("bant"), QStringLiteral("BANT")},
                                              {QStringLiteral("meddic"), QStringLiteral("MEDDIC")},
                                              {QStringLiteral("soncas"), QStringLiteral("SONCAS")},
                                              {QStringLiteral("spin"), QStringLiteral("SPIN")}};
    return t.value(code, code.toUpper());
}

Etape etape(const QString& id)
{
    static QHash<QString, Etape> cache;
    if (cache.isEmpty()) {
        const QJsonArray a = ai::Moteur::instance().donnee(QStringLiteral("ETAPES")).toArray();
        for (const QJsonValue& v : a) {
            const QJsonObject o = v.toObject();
            cache.insert(o.value(QStringLiteral("id")).toString(),
                         {o.value(QStringLiteral("libelle")).toString(), QColor(o.value(QStringLiteral("couleur")).toString()),
                          QColor(o.value(QStringLiteral("fond")).toString())});
        }
    }
    if (auto it = cache.constFind(id); it != cache.constEnd())
        return *it;
    return {id.isEmpty() ? QStringLiteral("Nouveau") : id, QColor(0x5F, 0x62, 0x70), QColor(0xEF, 0xEF, 0xEC)};
}

QLabel* puceEtape(const QString& id, QWidget* parent)
{
    const Etape e = etape(id);
    auto* l = new QLabel(e.libelle, parent);
    l->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 10px; padding: 2px 10px; font-size: 12px; font-weight: 600; }")
                         .arg(e.texte.name(), e.fond.name()));
    l->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return l;
}

QString nomContact(const model::Etat& etat, const model::Appel& a)
{
    if (a.contactId)
        if (const model::Contact* c = etat.contact(*a.contactId)) {
            const QString n = c->nomComplet();
            if (!n.trimmed().isEmpty())
                return c->societe.isEmpty() ? n : n + QStringLiteral(" · ") + c->societe;
            if (!c->societe.isEmpty())
                return c->societe;
        }
    return QStringLiteral("Appel sans contact");
}

std::optional<int> score(const model::Appel& a)
{
    if (!a.analyse)
        return std::nullopt;
    return int(std::clamp<qint64>(a.analyse->score, 0, 100));
}

} // namespace vd::ui::libelles
