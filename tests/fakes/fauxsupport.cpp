#include "fauxsupport.h"

#include <QImage>
#include <QMimeDatabase>

namespace vd::fakes {

namespace {
ReponseHttpFactice refus(int statut, const QString& code)
{
    return FauxSupabase::erreurFonction(statut, code);
}
} // namespace

FauxSupport::FauxSupport(FauxSupabase& serveur, platform::Horloge* horloge, QObject* parent)
    : QObject(parent), serveur_(serveur), horloge_(horloge ? horloge : &platform::Horloge::instance())
{
    auto brancher = [this](const char* action, ReponseHttpFactice (FauxSupport::*f)(const RequeteHttp&)) {
        serveur_.surFonction(QStringLiteral("support/") + QLatin1String(action), [this, f](const RequeteHttp& r) {
            if (!connecte(r))
                return FauxSupabase::erreurFonction(401, QStringLiteral("non_connecte"));
            if (r.methode != "POST")
                return refus(405, QStringLiteral("methode_interdite"));
            return (this->*f)(r);
        });
    };
    brancher("etat", &FauxSupport::etat);
    brancher("tickets", &FauxSupport::liste);
    brancher("ticket", &FauxSupport::ticket);
    brancher("repondre", &FauxSupport::repondre);
    brancher("piece", &FauxSupport::piece);
    brancher("lien", &FauxSupport::lien);
    brancher("chat", &FauxSupport::chat);
}

bool FauxSupport::connecte(const RequeteHttp& r) const
{
    const QByteArray a = r.entete("authorization");
    return a.startsWith("Bearer ") && !serveur_.utilisateurDuJeton(QString::fromUtf8(a.mid(7))).isEmpty();
}

void FauxSupport::refuserPiece(const QString& nom, int statut, const QString& code, int fois)
{
    refus_.insert(nom, Refus{statut, code, fois});
}

QString FauxSupport::maintenant() const
{
    return horloge_->maintenant().toString(Qt::ISODateWithMs);
}

QJsonObject* FauxSupport::trouver(const QString& id)
{
    for (QJsonObject& t : tickets)
        if (t.value(QLatin1String("id")).toString() == id)
            return &t;
    return nullptr;
}

int FauxSupport::nonLus() const
{
    int n = 0;
    for (const QJsonObject& t : tickets)
        n += t.value(QLatin1String("non_lu")).toBool() ? 1 : 0;
    return n;
}

QJsonObject FauxSupport::resume(const QJsonObject& t) const
{
    QJsonObject r = t;
    r.remove(QStringLiteral("messages"));
    return r;
}

bool FauxSupport::piecesValides(const QJsonValue& v, QJsonArray* sortie) const
{
    if (!v.isUndefined() && !v.isArray())
        return false;
    const QJsonArray ids = v.toArray();
    if (ids.size() > 5)
        return false;
    for (const QJsonValue& id : ids) {
        const auto it = pieces.constFind(id.toString());
        if (it == pieces.constEnd())
            return false;
        QJsonObject o{{QStringLiteral("id"), it->id},
                      {QStringLiteral("nom"), it->nom},
                      {QStringLiteral("type"), it->type},
                      {QStringLiteral("taille"), it->donnees.size()},
                      {QStringLiteral("auteur"), QStringLiteral("client")},
                      {QStringLiteral("url"), serveur_.url().toString() + QStringLiteral("/pieces/") + it->id}};
        const QImage image = QImage::fromData(it->donnees);
        if (!image.isNull()) {
            o.insert(QStringLiteral("largeur"), image.width());
            o.insert(QStringLiteral("hauteur"), image.height());
        }
        sortie->append(o);
    }
    return true;
}

QJsonObject FauxSupport::message(const QString& auteur, const QString& texte, const QJsonArray& p, bool conversation)
{
    return QJsonObject{{QStringLiteral("id"), ++suivant_},
                       {QStringLiteral("auteur"), auteur},
                       {QStringLiteral("texte"), texte},
                       {QStringLiteral("conversation_ia"), conversation},
                       {QStringLiteral("cree_le"), maintenant()},
                       {QStringLiteral("pieces"), p}};
}

ReponseHttpFactice FauxSupport::etat(const RequeteHttp&)
{
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("messages_utilises"), messagesUtilises},
                                                     {QStringLiteral("limite"), limite},
                                                     {QStringLiteral("non_lus"), nonLus()}});
}

ReponseHttpFactice FauxSupport::liste(const RequeteHttp&)
{
    QJsonArray a;
    for (const QJsonObject& t : tickets)
        a.append(resume(t));
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("tickets"), a}, {QStringLiteral("non_lus"), nonLus()}});
}

ReponseHttpFactice FauxSupport::ticket(const RequeteHttp& r)
{
    const QJsonObject c = r.json().toObject();
    if (c.contains(QLatin1String("ticket_id"))) {
        QJsonObject* t = trouver(c.value(QLatin1String("ticket_id")).toString());
        if (!t)
            return refus(404, QStringLiteral("ticket_introuvable"));
        t->insert(QStringLiteral("non_lu"), false);
        return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("ticket"), *t}});
    }
    const QString sujet = c.value(QLatin1String("sujet")).toString().trimmed();
    const QString texte = c.value(QLatin1String("message")).toString().trimmed();
    if (sujet.isEmpty() || texte.isEmpty())
        return refus(400, QStringLiteral("requete_invalide"));
    QJsonArray p;
    if (!piecesValides(c.value(QLatin1String("pieces")), &p))
        return refus(400, QStringLiteral("pieces_invalides"));
    const QString id = QStringLiteral("t%1").arg(tickets.size() + 1);
    for (const QJsonValue& x : p)
        pieces[x.toObject().value(QLatin1String("id")).toString()].ticket = id;
    QJsonArray messages{message(QStringLiteral("client"), texte, p, false)};
    const QJsonArray conversation = c.value(QLatin1String("conversation")).toArray();
    if (!conversation.isEmpty()) {
        QStringList lignes;
        for (const QJsonValue& m : conversation) {
            const QJsonObject o = m.toObject();
            lignes << (o.value(QLatin1String("role")).toString() == QLatin1String("user") ? QStringLiteral("Vous : ") : QStringLiteral("Aide : "))
                          + o.value(QLatin1String("content")).toString();
        }
        messages.append(message(QStringLiteral("client"), lignes.join(QLatin1Char('\n')), {}, true));
    }
    QJsonObject t{{QStringLiteral("id"), id},
                  {QStringLiteral("sujet"), sujet},
                  {QStringLiteral("statut"), QStringLiteral("ouvert")},
                  {QStringLiteral("cree_le"), maintenant()},
                  {QStringLiteral("dernier_message_le"), maintenant()},
                  {QStringLiteral("dernier_auteur"), QStringLiteral("client")},
                  {QStringLiteral("non_lu"), false},
                  {QStringLiteral("messages"), messages}};
    tickets.prepend(t);
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("ticket"), t}});
}

ReponseHttpFactice FauxSupport::repondre(const RequeteHttp& r)
{
    const QJsonObject c = r.json().toObject();
    QJsonObject* t = trouver(c.value(QLatin1String("ticket_id")).toString());
    if (!t)
        return refus(404, QStringLiteral("ticket_introuvable"));
    QJsonArray p;
    if (!piecesValides(c.value(QLatin1String("pieces")), &p))
        return refus(400, QStringLiteral("pieces_invalides"));
    const QString texte = c.value(QLatin1String("texte")).toString().trimmed();
    if (texte.isEmpty() && p.isEmpty())
        return refus(400, QStringLiteral("requete_invalide"));
    QJsonArray messages = t->value(QLatin1String("messages")).toArray();
    messages.append(message(QStringLiteral("client"), texte, p, false));
    t->insert(QStringLiteral("messages"), messages);
    t->insert(QStringLiteral("dernier_auteur"), QStringLiteral("client"));
    t->insert(QStringLiteral("dernier_message_le"), maintenant());
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("ticket"), *t}});
}

void FauxSupport::repondreEnTantQueSupport(const QString& id, const QString& texte)
{
    QJsonObject* t = trouver(id);
    if (!t)
        return;
    QJsonArray messages = t->value(QLatin1String("messages")).toArray();
    messages.append(message(QStringLiteral("support"), texte, {}, false));
    t->insert(QStringLiteral("messages"), messages);
    t->insert(QStringLiteral("dernier_auteur"), QStringLiteral("support"));
    t->insert(QStringLiteral("dernier_message_le"), maintenant());
    t->insert(QStringLiteral("non_lu"), true);
}

ReponseHttpFactice FauxSupport::piece(const RequeteHttp& r)
{
    const QString nom = QString::fromUtf8(QByteArray::fromPercentEncoding(r.entete("x-vd-nom")));
    if (nom.isEmpty())
        return refus(400, QStringLiteral("requete_invalide"));
    if (auto it = refus_.find(nom); it != refus_.end()) {
        const Refus x = *it;
        if (--it->fois <= 0)
            refus_.erase(it);
        return refus(x.statut, x.code);
    }
    if (r.corps.isEmpty())
        return refus(400, QStringLiteral("piece_vide"));
    if (r.corps.size() > 10 * 1024 * 1024)
        return refus(413, QStringLiteral("piece_trop_lourde"));
    const QString ticket = QString::fromUtf8(QByteArray::fromPercentEncoding(r.entete("x-vd-ticket")));
    if (!ticket.isEmpty() && !trouver(ticket))
        return refus(404, QStringLiteral("ticket_introuvable"));
    Piece p{QStringLiteral("p%1").arg(pieces.size() + 1), nom, QString::fromUtf8(r.entete("content-type")), ticket, r.corps};
    pieces.insert(p.id, p);
    ordrePieces.append(p.id);
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("id"), p.id},
                                                     {QStringLiteral("nom"), p.nom},
                                                     {QStringLiteral("type"), p.type},
                                                     {QStringLiteral("taille"), p.donnees.size()}});
}

ReponseHttpFactice FauxSupport::lien(const RequeteHttp& r)
{
    const QString id = r.json().toObject().value(QLatin1String("piece_id")).toString();
    if (!pieces.contains(id))
        return refus(404, QStringLiteral("requete_invalide"));
    return ReponseHttpFactice::json(200, QJsonObject{{QStringLiteral("url"), serveur_.url().toString() + QStringLiteral("/pieces/") + id + QStringLiteral("?telecharger=1")}});
}

ReponseHttpFactice FauxSupport::chat(const RequeteHttp& r)
{
    const QJsonObject c = r.json().toObject();
    if (!c.value(QLatin1String("messages")).isArray() || c.value(QLatin1String("messages")).toArray().isEmpty())
        return refus(400, QStringLiteral("requete_invalide"));
    if (c.value(QLatin1String("captures")).toArray().size() > 3)
        return refus(400, QStringLiteral("requete_invalide"));
    if (messagesUtilises >= limite)
        return refus(429, QStringLiteral("support_limite"));
    questions.append(c);
    ++messagesUtilises;
    QJsonObject reponse = reponsesChat.size() > 1 ? reponsesChat.takeFirst() : reponsesChat.value(0);
    reponse.insert(QStringLiteral("restants"), std::max(0, limite - messagesUtilises));
    return ReponseHttpFactice::json(200, reponse);
}

} // namespace vd::fakes
