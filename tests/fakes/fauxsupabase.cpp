#include "fauxsupabase.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QUuid>

namespace vd::fakes {

FauxSupabase::FauxSupabase(platform::Horloge* horloge, QObject* parent)
    : QObject(parent), horloge_(horloge ? horloge : &platform::Horloge::instance())
{
    serveur_.setGestionnaire([this](const RequeteHttp& r) { return traiter(r); });
}

bool FauxSupabase::demarrer() { return serveur_.demarrer(); }

bool FauxSupabase::utiliserPostgres(const QString& connexion)
{
    base_ = std::make_unique<BasePostgres>();
    if (connexion.isEmpty() || !base_->ouvrir(connexion) || !base_->vider())
        return false;
    for (const Utilisateur& u : std::as_const(utilisateurs_))
        if (!base_->creerUtilisateur(u.id, u.email, u.metadonnees))
            return false;
    return true;
}

QString FauxSupabase::ajouterUtilisateur(const QString& email, const QString& motDePasse, bool confirme,
                                         const QJsonObject& metadonnees)
{
    Utilisateur u;
    u.id = base_ ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                 : QStringLiteral("00000000-0000-4000-8000-%1").arg(++compteur_, 12, 10, QLatin1Char('0'));
    u.email = email;
    u.motDePasse = motDePasse;
    u.confirme = confirme;
    u.metadonnees = metadonnees;
    if (base_ && !base_->creerUtilisateur(u.id, u.email, u.metadonnees))
        return {};
    utilisateurs_.insert(u.id, u);
    parEmail_.insert(email, u.id);
    return u.id;
}

QString FauxSupabase::motDePasse(const QString& email) const
{
    return utilisateurs_.value(parEmail_.value(email)).motDePasse;
}

QJsonObject FauxSupabase::metadonnees(const QString& email) const
{
    return utilisateurs_.value(parEmail_.value(email)).metadonnees;
}

QString FauxSupabase::codePour(const QString& emailOuGoogle)
{
    if (!defis_.contains(emailOuGoogle))
        return {};
    const QString code = QStringLiteral("code-%1").arg(++compteur_);
    codes_.insert(code, {emailOuGoogle, defis_.value(emailOuGoogle)});
    return code;
}

QUrl FauxSupabase::autoriserGoogle(const QUrl& adresseAutorisation)
{
    const QUrlQuery q(adresseAutorisation);
    defis_.insert(QStringLiteral("google"), q.queryItemValue(QStringLiteral("code_challenge")));
    return QUrl(QStringLiteral("vendalo2://auth-callback?code=") + codePour(QStringLiteral("google")));
}

QJsonObject FauxSupabase::ouvrirSession(const QString& email)
{
    return nouvelleSession(parEmail_.value(email));
}

bool FauxSupabase::jetonRafraichissementValide(const QString& jeton) const
{
    auto it = rafraichissements_.constFind(jeton);
    return it != rafraichissements_.constEnd() && !it->utilise;
}

QString FauxSupabase::utilisateurDuJeton(const QString& jetonAcces) const
{
    auto it = acces_.constFind(jetonAcces);
    if (it == acces_.constEnd() || maintenant() >= it->expireA)
        return {};
    return it->utilisateur;
}

void FauxSupabase::injecter(const QString& prefixe, const ReponseHttpFactice& reponse, int fois)
{
    pannes_.append({prefixe, reponse, fois});
}

ReponseHttpFactice FauxSupabase::erreurAuth(int statut, const QString& code, const QString& msg)
{
    QJsonObject o{{QStringLiteral("code"), statut}, {QStringLiteral("msg"), msg}};
    if (!code.isEmpty())
        o.insert(QStringLiteral("error_code"), code);
    return ReponseHttpFactice::json(statut, o);
}

ReponseHttpFactice FauxSupabase::erreurRest(int statut, const QString& code, const QString& message)
{
    return ReponseHttpFactice::json(statut, QJsonObject{{QStringLiteral("code"), code},
                                                        {QStringLiteral("message"), message},
                                                        {QStringLiteral("details"), QJsonValue()},
                                                        {QStringLiteral("hint"), QJsonValue()}});
}

ReponseHttpFactice FauxSupabase::erreurFonction(int statut, const QString& code, const QString& message)
{
    QJsonObject o{{QStringLiteral("error"), code}};
    if (!message.isEmpty())
        o.insert(QStringLiteral("message"), message);
    return ReponseHttpFactice::json(statut, o);
}

int FauxSupabase::nombreRafraichissements() const
{
    int n = 0;
    for (const RequeteHttp& r : journal())
        if (r.chemin == QLatin1String("/auth/v1/token") && r.item(QStringLiteral("grant_type")) == QLatin1String("refresh_token"))
            ++n;
    return n;
}

QList<RequeteHttp> FauxSupabase::requetes(const QString& chemin) const
{
    QList<RequeteHttp> r;
    for (const RequeteHttp& q : journal())
        if (q.chemin == chemin)
            r.append(q);
    return r;
}

QJsonObject FauxSupabase::jsonUtilisateur(const Utilisateur& u) const
{
    return {{QStringLiteral("id"), u.id},
            {QStringLiteral("aud"), QStringLiteral("authenticated")},
            {QStringLiteral("email"), u.email},
            {QStringLiteral("email_confirmed_at"),
             u.confirme ? QJsonValue(QStringLiteral("2026-03-01T08:00:00.000000Z")) : QJsonValue()},
            {QStringLiteral("app_metadata"), QJsonObject{{QStringLiteral("provider"), u.fournisseur}}},
            {QStringLiteral("user_metadata"), u.metadonnees}};
}

QJsonObject FauxSupabase::nouvelleSession(const QString& idUtilisateur, QString sessionId)
{
    if (sessionId.isEmpty())
        sessionId = QStringLiteral("s%1").arg(++compteur_);
    const int n = ++compteur_;
    const QString acces = QStringLiteral("acces-%1").arg(n);
    const QString rafraichi = QStringLiteral("rafraichi-%1").arg(n);
    const QDateTime expire = maintenant().addSecs(dureeJetonS);
    acces_.insert(acces, {idUtilisateur, sessionId, expire});
    rafraichissements_.insert(rafraichi, {idUtilisateur, sessionId, false});
    return {{QStringLiteral("access_token"), acces},
            {QStringLiteral("token_type"), QStringLiteral("bearer")},
            {QStringLiteral("expires_in"), dureeJetonS},
            {QStringLiteral("expires_at"), expire.toSecsSinceEpoch()},
            {QStringLiteral("refresh_token"), rafraichi},
            {QStringLiteral("user"), jsonUtilisateur(utilisateurs_.value(idUtilisateur))}};
}

QString FauxSupabase::porteur(const RequeteHttp& r) const
{
    const QByteArray a = r.entete("authorization");
    return a.startsWith("Bearer ") ? QString::fromUtf8(a.mid(7)) : QString();
}

ReponseHttpFactice FauxSupabase::traiter(const RequeteHttp& r)
{
    for (qsizetype i = 0; i < pannes_.size(); ++i) {
        if (r.chemin.startsWith(pannes_[i].prefixe)) {
            const ReponseHttpFactice rep = pannes_[i].reponse;
            if (--pannes_[i].fois <= 0)
                pannes_.removeAt(i);
            return rep;
        }
    }
    if (r.entete("apikey") != cleAnon().toUtf8())
        return ReponseHttpFactice::json(401, QJsonObject{{QStringLiteral("message"), QStringLiteral("Invalid API key")}});
    if (r.chemin.startsWith(QLatin1String("/auth/v1/")))
        return auth(r, r.chemin.mid(9));

    // Data: the public key or a live user token.
    const QString jeton = porteur(r);
    if (jeton != cleAnon() && utilisateurDuJeton(jeton).isEmpty()) {
        if (r.chemin.startsWith(QLatin1String("/functions/v1/")))
            return ReponseHttpFactice::json(401, QJsonObject{{QStringLiteral("code"), 401},
                                                             {QStringLiteral("message"), QStringLiteral("Invalid JWT")}});
        return erreurRest(401, QStringLiteral("PGRST301"), QStringLiteral("JWT expired"));
    }
    if (r.chemin.startsWith(QLatin1String("/functions/v1/"))) {
        const QString nom = r.chemin.mid(14);
        if (auto it = fonctions_.constFind(nom); it != fonctions_.constEnd())
            return (*it)(r);
        if (base_ && (nom == QLatin1String("equipe") || nom == QLatin1String("compte")))
            return fonctionEnBase(r, nom, jeton);
        return erreurFonction(404, QStringLiteral("introuvable"), QStringLiteral("Function not found"));
    }
    if (r.chemin.startsWith(QLatin1String("/rest/v1/rpc/"))) {
        const QString nom = r.chemin.mid(13);
        if (auto it = procedures_.constFind(nom); it != procedures_.constEnd())
            return (*it)(r);
        if (base_) {
            const QString id = jeton == cleAnon() ? QString() : utilisateurDuJeton(jeton);
            const ReponseHttpFactice rep = base_->appeler(nom, r.corps.trimmed().isEmpty() ? QJsonValue(QJsonObject()) : r.json(), id,
                                                          utilisateurs_.value(id).email);
            reponses_.insert(nom, rep.corps);
            return rep;
        }
        return erreurRest(404, QStringLiteral("PGRST202"), QStringLiteral("Could not find the function"));
    }
    if (r.chemin.startsWith(QLatin1String("/rest/v1/")))
        return rest(r, r.chemin.mid(9));
    return ReponseHttpFactice::texte(404, "not found");
}

ReponseHttpFactice FauxSupabase::auth(const RequeteHttp& r, const QString& route)
{
    const QJsonObject corps = r.json().toObject();
    const QString email = corps.value(QStringLiteral("email")).toString();
    if (route == QLatin1String("signup") && r.methode == "POST") {
        if (!inscriptionsOuvertes)
            return erreurAuth(422, QStringLiteral("signup_disabled"), QStringLiteral("Signups not allowed for this instance"));
        if (!email.contains(QLatin1Char('@')))
            return erreurAuth(400, QStringLiteral("email_address_invalid"), QStringLiteral("Unable to validate email address"));
        if (parEmail_.contains(email))
            return erreurAuth(422, QStringLiteral("user_already_exists"), QStringLiteral("User already registered"));
        const QString mdp = corps.value(QStringLiteral("password")).toString();
        if (mdp.size() < 6)
            return erreurAuth(422, QStringLiteral("weak_password"), QStringLiteral("Password should be at least 6 characters"));
        const QString id = ajouterUtilisateur(email, mdp, !confirmationRequise, corps.value(QStringLiteral("data")).toObject());
        if (corps.contains(QStringLiteral("code_challenge")))
            defis_.insert(email, corps.value(QStringLiteral("code_challenge")).toString());
        if (confirmationRequise)
            return ReponseHttpFactice::json(200, jsonUtilisateur(utilisateurs_.value(id)));
        return ReponseHttpFactice::json(200, nouvelleSession(id));
    }
    if (route == QLatin1String("token") && r.methode == "POST") {
        const QString grant = r.item(QStringLiteral("grant_type"));
        if (grant == QLatin1String("password")) {
            const Utilisateur u = utilisateurs_.value(parEmail_.value(email));
            if (u.id.isEmpty() || u.motDePasse != corps.value(QStringLiteral("password")).toString())
                return erreurAuth(400, QStringLiteral("invalid_credentials"), QStringLiteral("Invalid login credentials"));
            if (!u.confirme)
                return erreurAuth(400, QStringLiteral("email_not_confirmed"), QStringLiteral("Email not confirmed"));
            return ReponseHttpFactice::json(200, nouvelleSession(u.id));
        }
        if (grant == QLatin1String("refresh_token")) {
            const QString jeton = corps.value(QStringLiteral("refresh_token")).toString();
            auto it = rafraichissements_.find(jeton);
            if (it == rafraichissements_.end())
                return erreurAuth(400, QStringLiteral("refresh_token_not_found"), QStringLiteral("Invalid Refresh Token: Refresh Token Not Found"));
            if (it->utilise)
                return erreurAuth(400, QStringLiteral("refresh_token_already_used"), QStringLiteral("Invalid Refresh Token: Already Used"));
            it->utilise = true;
            const Rafraichissement f = *it;
            return ReponseHttpFactice::json(200, nouvelleSession(f.utilisateur, f.sessionId));
        }
        if (grant == QLatin1String("pkce")) {
            const QString code = corps.value(QStringLiteral("auth_code")).toString();
            if (!codes_.contains(code))
                return erreurAuth(404, QStringLiteral("flow_state_not_found"), QStringLiteral("invalid flow state, no valid flow state found"));
            const Flot f = codes_.take(code);
            const QByteArray verif = corps.value(QStringLiteral("code_verifier")).toString().toUtf8();
            const QString defi = QString::fromLatin1(QCryptographicHash::hash(verif, QCryptographicHash::Sha256)
                                                         .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            if (defi != f.defi)
                return erreurAuth(400, QStringLiteral("bad_code_verifier"), QStringLiteral("code challenge does not match previously saved code verifier"));
            QString id = parEmail_.value(f.email);
            if (id.isEmpty() && f.email == QLatin1String("google")) {
                id = ajouterUtilisateur(QStringLiteral("google@exemple.fr"), QString(), true);
                utilisateurs_[id].fournisseur = QStringLiteral("google");
                parEmail_.insert(f.email, id);
            }
            utilisateurs_[id].confirme = true;
            return ReponseHttpFactice::json(200, nouvelleSession(id));
        }
        return erreurAuth(400, QStringLiteral("validation_failed"), QStringLiteral("unsupported_grant_type"));
    }
    if (route == QLatin1String("user")) {
        const QString id = utilisateurDuJeton(porteur(r));
        if (id.isEmpty())
            return erreurAuth(401, QStringLiteral("bad_jwt"), QStringLiteral("invalid JWT: unable to parse or verify signature, token has invalid claims: token is expired"));
        if (r.methode == "PUT") {
            const QString mdp = corps.value(QStringLiteral("password")).toString();
            if (mdp == utilisateurs_[id].motDePasse)
                return erreurAuth(422, QStringLiteral("same_password"), QStringLiteral("New password should be different from the old password."));
            if (mdp.size() < 6)
                return erreurAuth(422, QStringLiteral("weak_password"), QStringLiteral("Password should be at least 6 characters"));
            utilisateurs_[id].motDePasse = mdp;
        }
        return ReponseHttpFactice::json(200, jsonUtilisateur(utilisateurs_.value(id)));
    }
    if (route == QLatin1String("logout") && r.methode == "POST") {
        const QString jeton = porteur(r);
        if (utilisateurDuJeton(jeton).isEmpty())
            return erreurAuth(401, QStringLiteral("bad_jwt"), QStringLiteral("invalid JWT"));
        const QString sessionId = acces_.value(jeton).sessionId;
        for (auto it = rafraichissements_.begin(); it != rafraichissements_.end();)
            it = it->sessionId == sessionId ? rafraichissements_.erase(it) : std::next(it);
        for (auto it = acces_.begin(); it != acces_.end();)
            it = it->sessionId == sessionId ? acces_.erase(it) : std::next(it);
        return ReponseHttpFactice::texte(204, {});
    }
    if (route == QLatin1String("recover") && r.methode == "POST") {
        if (corps.contains(QStringLiteral("code_challenge")))
            defis_.insert(email, corps.value(QStringLiteral("code_challenge")).toString());
        return ReponseHttpFactice::json(200, QJsonObject());
    }
    if (route == QLatin1String("resend") && r.methode == "POST")
        return ReponseHttpFactice::json(200, QJsonObject());
    return ReponseHttpFactice::json(404, QJsonObject{{QStringLiteral("code"), 404}, {QStringLiteral("msg"), QStringLiteral("Not found")}});
}

ReponseHttpFactice FauxSupabase::rest(const RequeteHttp& r, const QString& table)
{
    QJsonArray& lignes = tables[table];
    if (r.methode == "POST") {
        const QJsonValue v = r.json();
        if (!v.isArray() && !v.isObject())
            return erreurRest(400, QStringLiteral("PGRST102"), QStringLiteral("Empty or invalid json"));
        const QJsonArray nouvelles = v.isArray() ? v.toArray() : QJsonArray{v};
        QStringList conflit = r.item(QStringLiteral("on_conflict")).split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (conflit.isEmpty())
            conflit = {QStringLiteral("id")};   // the primary key
        const bool fusion = r.entete("prefer").contains("resolution=merge-duplicates");
        for (const QJsonValue& n : nouvelles) {
            const QJsonObject o = n.toObject();
            qsizetype existante = -1;
            for (qsizetype i = 0; o.contains(conflit.value(0)) && i < lignes.size(); ++i) {
                bool pareil = true;
                for (const QString& c : conflit)
                    pareil = pareil && lignes[i].toObject().value(c) == o.value(c);
                if (pareil)
                    existante = i;
            }
            if (existante >= 0 && !fusion)
                return erreurRest(409, QStringLiteral("23505"), QStringLiteral("duplicate key value violates unique constraint"));
            if (existante >= 0) {
                QJsonObject fusionnee = lignes[existante].toObject();
                for (auto it = o.begin(); it != o.end(); ++it)
                    fusionnee.insert(it.key(), it.value());
                lignes[existante] = fusionnee;
            } else {
                lignes.append(o);
            }
        }
        if (r.entete("prefer").contains("return=representation"))
            return ReponseHttpFactice::json(201, nouvelles);
        return ReponseHttpFactice::texte(201, {});
    }
    if (r.methode == "GET") {
        QJsonArray resultat;
        int limite = r.requete.hasQueryItem(QStringLiteral("limit")) ? r.item(QStringLiteral("limit")).toInt() : -1;
        for (const QJsonValue& l : std::as_const(lignes)) {
            bool garde = true;
            for (const auto& [cle, valeur] : r.requete.queryItems(QUrl::FullyDecoded)) {
                if (valeur.startsWith(QLatin1String("eq.")))
                    garde = garde && l.toObject().value(cle).toVariant().toString() == valeur.mid(3);
            }
            if (garde && (limite < 0 || resultat.size() < limite))
                resultat.append(l);
        }
        return ReponseHttpFactice::json(200, resultat);
    }
    if (r.methode == "PATCH") {
        // Only the signed-in user's own rows, as the update policies allow.
        const QString moi = utilisateurDuJeton(porteur(r));
        const QJsonObject valeurs = r.json().toObject();
        const auto filtres = r.requete.queryItems(QUrl::FullyDecoded);
        if (moi.isEmpty() || filtres.isEmpty())
            return erreurRest(401, QStringLiteral("42501"), QStringLiteral("permission denied"));
        for (QJsonValueRef l : lignes) {
            QJsonObject o = l.toObject();
            bool garde = o.value(QStringLiteral("id")).toString() == moi;
            for (const auto& [cle, valeur] : filtres)
                garde = garde && valeur.startsWith(QLatin1String("eq.")) && o.value(cle).toVariant().toString() == valeur.mid(3);
            if (!garde)
                continue;
            for (auto it = valeurs.begin(); it != valeurs.end(); ++it)
                o.insert(it.key(), it.value());
            l = o;
        }
        return ReponseHttpFactice::texte(204, {});
    }
    return erreurRest(405, QStringLiteral("PGRST105"), QStringLiteral("Method not allowed"));
}

// The "equipe" and "compte" functions: the caller's token gives the account
// whose id the procedure receives; a deletion also ends the user's sessions here.
ReponseHttpFactice FauxSupabase::fonctionEnBase(const RequeteHttp& r, const QString& nom, const QString& jeton)
{
    const QString id = jeton == cleAnon() ? QString() : utilisateurDuJeton(jeton);
    if (id.isEmpty())
        return erreurFonction(401, QStringLiteral("non_connecte"), QStringLiteral("Connectez-vous pour continuer."));
    if (r.methode != "POST")
        return erreurFonction(405, QStringLiteral("methode_interdite"));
    const QJsonDocument doc = QJsonDocument::fromJson(r.corps);
    if (!doc.isObject())
        return erreurFonction(400, QStringLiteral("requete_invalide"), QStringLiteral("La demande est illisible."));
    const QJsonObject corps = doc.object();
    const QString procedure = nom == QLatin1String("equipe") ? QStringLiteral("fonction_equipe") : QStringLiteral("fonction_compte");
    ReponseHttpFactice rep = base_->appelerFonctionService(procedure, id, corps);
    if (rep.statut != 200)
        return rep;
    const QJsonObject reponse = QJsonDocument::fromJson(rep.corps).object();
    if (nom == QLatin1String("equipe")) {
        // The invitation e-mail "leaves" here; the procedure left it to send.
        const QJsonObject inv = reponse.value(QStringLiteral("invitation")).toObject();
        if (inv.value(QStringLiteral("emailStatut")).toString() == QLatin1String("a_envoyer")) {
            base_->executer(QStringLiteral("update public.invitations set email_statut = 'envoye', email_le = now() where id = ?::uuid"),
                            {inv.value(QStringLiteral("id")).toString()});
            emailsInvitation.append(inv.value(QStringLiteral("email")).toString());
        }
    } else if (reponse.value(QStringLiteral("supprime")).toBool()) {
        parEmail_.remove(utilisateurs_.value(id).email);
        utilisateurs_.remove(id);
        for (auto it = acces_.begin(); it != acces_.end();)
            it = it->utilisateur == id ? acces_.erase(it) : std::next(it);
        for (auto it = rafraichissements_.begin(); it != rafraichissements_.end();)
            it = it->utilisateur == id ? rafraichissements_.erase(it) : std::next(it);
    }
    return rep;
}

} // namespace vd::fakes
