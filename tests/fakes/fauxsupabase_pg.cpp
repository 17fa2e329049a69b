#include "fauxsupabase_pg.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace vd::fakes {

namespace {

// The call runs inside a block that catches the error with all its fields
// (the driver only gives the message); the block's subtransaction undoes the
// call's writes before the answer, as PostgREST's rollback would.
const char* const fonctionAppel = R"SQL(
create or replace function pg_temp.vd_appeler(p_sql text, p_args text[]) returns jsonb
language plpgsql as $$
declare
  r jsonb;
  e_code text; e_message text; e_details text; e_hint text;
begin
  execute p_sql into r using p_args;
  return jsonb_build_object('ok', true, 'valeur', r);
exception when others then
  get stacked diagnostics e_code = returned_sqlstate, e_message = message_text,
                          e_details = pg_exception_detail, e_hint = pg_exception_hint;
  return jsonb_build_object('ok', false, 'code', e_code, 'message', e_message,
                            'details', nullif(e_details, ''), 'hint', nullif(e_hint, ''));
end
$$)SQL";

QJsonObject erreurRest(const QString& code, const QString& message, const QJsonValue& details = QJsonValue(),
                       const QJsonValue& hint = QJsonValue())
{
    return {{QStringLiteral("code"), code}, {QStringLiteral("message"), message},
            {QStringLiteral("details"), details}, {QStringLiteral("hint"), hint}};
}

// A JSON value as the text PostgREST hands to the parameter's input function.
QString texteArgument(const QJsonValue& v, const QString& type)
{
    if (v.isString() && type != QLatin1String("json") && type != QLatin1String("jsonb"))
        return v.toString();
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble()) {
        const double d = v.toDouble();
        return d == static_cast<double>(static_cast<qint64>(d)) ? QString::number(static_cast<qint64>(d))
                                                                : QString::number(d, 'g', 17);
    }
    // A JSON string for a json parameter.
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

} // namespace

BasePostgres::BasePostgres()
    : nomConnexion_(QStringLiteral("vd-fauxsupabase-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

BasePostgres::~BasePostgres()
{
    if (QSqlDatabase::contains(nomConnexion_)) {
        QSqlDatabase::database(nomConnexion_, false).close();
        QSqlDatabase::removeDatabase(nomConnexion_);
    }
}

QString BasePostgres::connexionEnvironnement() { return qEnvironmentVariable("VD_POSTGRES"); }

bool BasePostgres::ouvrir(const QString& connexion)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        erreur_ = QStringLiteral("pilote QPSQL absent (paquet libqt6sql6-psql)");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nomConnexion_);
    for (const QString& morceau : connexion.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString cle = morceau.section(QLatin1Char('='), 0, 0);
        const QString valeur = morceau.section(QLatin1Char('='), 1);
        if (cle == QLatin1String("host"))
            db.setHostName(valeur);
        else if (cle == QLatin1String("port"))
            db.setPort(valeur.toInt());
        else if (cle == QLatin1String("user"))
            db.setUserName(valeur);
        else if (cle == QLatin1String("dbname"))
            db.setDatabaseName(valeur);
        else if (cle == QLatin1String("password"))
            db.setPassword(valeur);
    }
    if (!db.open()) {
        erreur_ = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(QString::fromLatin1(fonctionAppel))) {
        erreur_ = q.lastError().text();
        return false;
    }
    return true;
}

bool BasePostgres::ouverte() const
{
    return QSqlDatabase::contains(nomConnexion_) && QSqlDatabase::database(nomConnexion_, false).isOpen();
}

bool BasePostgres::vider()
{
    QSqlQuery q(QSqlDatabase::database(nomConnexion_, false));
    const bool ok = q.exec(QStringLiteral("delete from auth.users")) && q.exec(QStringLiteral("delete from public.organisations"));
    if (!ok)
        erreur_ = q.lastError().text();
    return ok;
}

bool BasePostgres::creerUtilisateur(const QString& id, const QString& email, const QJsonObject& metadonnees)
{
    QSqlQuery q(QSqlDatabase::database(nomConnexion_, false));
    q.prepare(QStringLiteral("insert into auth.users (id, email, raw_user_meta_data, email_confirmed_at) "
                             "values (?::uuid, ?, ?::jsonb, now())"));
    q.addBindValue(id);
    q.addBindValue(email);
    q.addBindValue(QString::fromUtf8(QJsonDocument(metadonnees).toJson(QJsonDocument::Compact)));
    if (!q.exec()) {
        erreur_ = q.lastError().text();
        return false;
    }
    return true;
}

QVariantList BasePostgres::executer(const QString& sql, const QVariantList& parametres)
{
    QSqlQuery q(QSqlDatabase::database(nomConnexion_, false));
    QVariantList lignes;
    if (!q.prepare(sql)) {
        erreur_ = q.lastError().text();
        return lignes;
    }
    for (const QVariant& p : parametres)
        q.addBindValue(p);
    if (!q.exec()) {
        erreur_ = q.lastError().text();
        return lignes;
    }
    while (q.next())
        lignes.append(q.value(0));
    return lignes;
}

BasePostgres::Signature BasePostgres::signature(const QString& nom)
{
    Signature s;
    QSqlQuery q(QSqlDatabase::database(nomConnexion_, false));
    q.prepare(QStringLiteral(
        "select coalesce(array_to_string(p.proargnames, ','), ''), "
        "       coalesce((select string_agg(format_type(t, null), ',' order by i) "
        "                  from unnest(p.proargtypes::oid[]) with ordinality as a(t, i)), ''), "
        "       p.pronargdefaults, p.prorettype = 'void'::regtype "
        "  from pg_proc p join pg_namespace n on n.oid = p.pronamespace "
        " where n.nspname = 'public' and p.proname = ? and p.prokind = 'f'"));
    q.addBindValue(nom);
    if (!q.exec() || !q.next())
        return s;
    const QStringList noms = q.value(0).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList types = q.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    const int defauts = q.value(2).toInt();
    for (qsizetype i = 0; i < types.size(); ++i)
        s.parametres.append({noms.value(i), types[i], i >= types.size() - defauts});
    s.vide = q.value(3).toBool();
    s.trouvee = true;
    return s;
}

int BasePostgres::statutPour(const QString& c, bool anonyme)
{
    if (c == QLatin1String("42501"))
        return anonyme ? 401 : 403;
    if (c == QLatin1String("P0001"))
        return 400;
    if (c == QLatin1String("23503") || c == QLatin1String("23505"))
        return 409;
    if (c == QLatin1String("25006"))
        return 405;
    if (c == QLatin1String("42883") || c == QLatin1String("42P01"))
        return 404;
    if (c == QLatin1String("42P17"))
        return 500;
    static const QList<QPair<QString, int>> classes{
        {QStringLiteral("08"), 503}, {QStringLiteral("09"), 500}, {QStringLiteral("0L"), 403}, {QStringLiteral("0P"), 403},
        {QStringLiteral("25"), 500}, {QStringLiteral("28"), 403}, {QStringLiteral("2D"), 500}, {QStringLiteral("38"), 500},
        {QStringLiteral("39"), 500}, {QStringLiteral("3B"), 500}, {QStringLiteral("40"), 500}, {QStringLiteral("53"), 503},
        {QStringLiteral("54"), 500}, {QStringLiteral("55"), 500}, {QStringLiteral("57"), 500}, {QStringLiteral("58"), 500},
        {QStringLiteral("F0"), 500}, {QStringLiteral("HV"), 500}, {QStringLiteral("P0"), 500}, {QStringLiteral("XX"), 500}};
    for (const auto& [prefixe, statut] : classes)
        if (c.startsWith(prefixe))
            return statut;
    return 400;
}

ReponseHttpFactice BasePostgres::appeler(const QString& nom, const QJsonValue& corps, const QString& idUtilisateur,
                                         const QString& email)
{
    const bool anonyme = idUtilisateur.isEmpty();
    static const QRegularExpression identifiant(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    if (!corps.isObject() && !corps.isNull())
        return ReponseHttpFactice::json(400, erreurRest(QStringLiteral("PGRST102"), QStringLiteral("Empty or invalid json")));
    const QJsonObject arguments = corps.toObject();
    const Signature s = identifiant.match(nom).hasMatch() ? signature(nom) : Signature{};
    QStringList attendus;
    for (const Parametre& p : s.parametres)
        attendus.append(p.nom);
    bool correspond = s.trouvee;
    for (auto it = arguments.begin(); correspond && it != arguments.end(); ++it)
        correspond = attendus.contains(it.key());
    for (const Parametre& p : s.parametres)
        correspond = correspond && (p.parDefaut || arguments.contains(p.nom));
    if (!correspond) {
        QStringList cles = arguments.keys();
        return ReponseHttpFactice::json(404, erreurRest(QStringLiteral("PGRST202"),
            QStringLiteral("Could not find the function public.%1(%2) in the schema cache").arg(nom, cles.join(QStringLiteral(", ")))));
    }

    QStringList nommes;
    QStringList valeurs;
    for (const Parametre& p : s.parametres) {
        if (!arguments.contains(p.nom))
            continue;
        const QJsonValue v = arguments.value(p.nom);
        valeurs.append(texteArgument(v, p.type));
        nommes.append(QStringLiteral("%1 => $1[%2]::%3").arg(p.nom).arg(valeurs.size()).arg(p.type));
        if (v.isNull())
            nommes.last() = QStringLiteral("%1 => null::%2").arg(p.nom, p.type);
    }
    const QString appel = QStringLiteral("public.%1(%2)").arg(nom, nommes.join(QStringLiteral(", ")));
    const QString sql = s.vide ? QStringLiteral("select null::jsonb from %1").arg(appel)
                               : QStringLiteral("select to_jsonb(%1)").arg(appel);

    QSqlDatabase db = QSqlDatabase::database(nomConnexion_, false);
    QSqlQuery q(db);
    const QJsonObject claims = anonyme
        ? QJsonObject{{QStringLiteral("role"), QStringLiteral("anon")}}
        : QJsonObject{{QStringLiteral("sub"), idUtilisateur}, {QStringLiteral("role"), QStringLiteral("authenticated")},
                      {QStringLiteral("aud"), QStringLiteral("authenticated")}, {QStringLiteral("email"), email}};
    auto echec = [this, &q, &db](const QString& etape) {
        erreur_ = etape + QStringLiteral(" : ") + q.lastError().text();
        db.rollback();
        return ReponseHttpFactice::json(500, erreurRest(QStringLiteral("XX000"), erreur_));
    };
    if (!db.transaction())
        return ReponseHttpFactice::json(503, erreurRest(QStringLiteral("08000"), db.lastError().text()));
    q.prepare(QStringLiteral("select set_config('role', ?, true), set_config('request.jwt.claims', ?, true)"));
    q.addBindValue(anonyme ? QStringLiteral("anon") : QStringLiteral("authenticated"));
    q.addBindValue(QString::fromUtf8(QJsonDocument(claims).toJson(QJsonDocument::Compact)));
    if (!q.exec())
        return echec(QStringLiteral("rôle"));
    q.prepare(QStringLiteral("select pg_temp.vd_appeler(?, ?::text[])::text"));
    q.addBindValue(sql);
    QStringList echappees;
    for (QString v : valeurs) {
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        echappees.append(QLatin1Char('"') + v + QLatin1Char('"'));
    }
    q.addBindValue(QLatin1Char('{') + echappees.join(QLatin1Char(',')) + QLatin1Char('}'));
    if (!q.exec() || !q.next())
        return echec(QStringLiteral("appel"));
    const QJsonObject resultat = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    q.finish();
    if (!db.commit())
        return echec(QStringLiteral("validation"));
    if (!resultat.value(QStringLiteral("ok")).toBool()) {
        const QString code = resultat.value(QStringLiteral("code")).toString();
        return ReponseHttpFactice::json(statutPour(code, anonyme),
                                        erreurRest(code, resultat.value(QStringLiteral("message")).toString(),
                                                   resultat.value(QStringLiteral("details")), resultat.value(QStringLiteral("hint"))));
    }
    if (s.vide)
        return ReponseHttpFactice::texte(204, {});
    const QJsonValue valeur = resultat.value(QStringLiteral("valeur"));
    ReponseHttpFactice r;
    r.statut = 200;
    r.entetes.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json; charset=utf-8")));
    // A scalar (a text, a number) is sent as its JSON form, as PostgREST does.
    r.corps = QJsonDocument(QJsonArray{valeur}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return r;
}

ReponseHttpFactice BasePostgres::appelerFonctionService(const QString& procedure, const QString& idUtilisateur,
                                                         const QJsonObject& corps)
{
    static const QRegularExpression identifiant(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    auto erreurFonction = [](int statut, const QString& code, const QString& message) {
        return ReponseHttpFactice::json(statut, QJsonObject{{QStringLiteral("error"), code}, {QStringLiteral("message"), message}});
    };
    if (!identifiant.match(procedure).hasMatch())
        return erreurFonction(500, QStringLiteral("configuration"), QStringLiteral("procédure invalide"));
    QSqlDatabase db = QSqlDatabase::database(nomConnexion_, false);
    QSqlQuery q(db);
    auto echec = [&](const QString& etape) {
        erreur_ = etape + QStringLiteral(" : ") + q.lastError().text();
        db.rollback();
        return erreurFonction(500, QStringLiteral("erreur_base"), erreur_);
    };
    if (!db.transaction())
        return erreurFonction(503, QStringLiteral("erreur_base"), db.lastError().text());
    if (!q.exec(QStringLiteral("select set_config('role', 'service_role', true), "
                               "set_config('request.jwt.claims', '{\"role\": \"service_role\"}', true)")))
        return echec(QStringLiteral("rôle"));
    q.prepare(QStringLiteral("select pg_temp.vd_appeler(?, array[?, ?])::text"));
    q.addBindValue(QStringLiteral("select prive.%1($1[1]::uuid, $1[2]::jsonb)").arg(procedure));
    q.addBindValue(idUtilisateur);
    q.addBindValue(QString::fromUtf8(QJsonDocument(corps).toJson(QJsonDocument::Compact)));
    if (!q.exec() || !q.next())
        return echec(QStringLiteral("appel"));
    const QJsonObject resultat = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    q.finish();
    if (!db.commit())
        return echec(QStringLiteral("validation"));
    if (resultat.value(QStringLiteral("ok")).toBool())
        return ReponseHttpFactice::json(200, resultat.value(QStringLiteral("valeur")).toObject());
    const QString hint = resultat.value(QStringLiteral("hint")).toString();
    const QString message = resultat.value(QStringLiteral("message")).toString();
    if (resultat.value(QStringLiteral("code")).toString() != QLatin1String("P0001") || hint.isEmpty()) {
        erreur_ = message;
        return erreurFonction(500, QStringLiteral("erreur_base"), QStringLiteral("Une erreur est survenue. Réessayez dans un instant."));
    }
    const int statut = hint == QLatin1String("sans_organisation") ? 403 : hint == QLatin1String("compte_introuvable") ? 404 : 400;
    return erreurFonction(statut, hint, message);
}

} // namespace vd::fakes
