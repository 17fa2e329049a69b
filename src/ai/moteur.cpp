#include "moteur.h"

#include "platform/dossiers.h"

#include <JavaScriptCore/JavaScript.h>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcMoteur, "vd.ai.moteur")

namespace vd::ai {

namespace {

QString depuisJS(JSStringRef s)
{
    if (!s)
        return {};
    return QString(reinterpret_cast<const QChar*>(JSStringGetCharactersPtr(s)), int(JSStringGetLength(s)));
}

struct ChaineJS {
    JSStringRef ref;
    explicit ChaineJS(const QString& s) : ref(JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(s.utf16()), size_t(s.size()))) {}
    ~ChaineJS() { JSStringRelease(ref); }
    ChaineJS(const ChaineJS&) = delete;
    ChaineJS& operator=(const ChaineJS&) = delete;
};

QString texteDe(JSContextRef ctx, JSValueRef v)
{
    JSStringRef s = JSValueToStringCopy(ctx, v, nullptr);
    const QString r = depuisJS(s);
    if (s)
        JSStringRelease(s);
    return r;
}

} // namespace

QString ErreurMoteur::description() const
{
    switch (genre) {
    case Genre::chargement: return QStringLiteral("Le moteur n'a pas pu démarrer. ") + detail;
    case Genre::decodage: return QStringLiteral("Réponse du moteur illisible. ") + detail;
    case Genre::js: break;
    }
    return detail;
}

QByteArray texteJsonTrie(const QJsonValue& v)
{
    // QJsonObject keeps keys sorted and never escapes "/".
    if (v.isObject())
        return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    if (v.isArray())
        return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    const QByteArray b = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return b.mid(1, b.size() - 2);
}

struct Moteur::Prive {
    JSGlobalContextRef ctx = nullptr;
    JSObjectRef objet = nullptr;
    bool tente = false;
    std::optional<QString> erreurChargement;
    // The script's functions, looked up once: a property lookup by name costs more than the call itself.
    QHash<QString, JSObjectRef> fonctions;

    ~Prive()
    {
        if (ctx) {
            for (JSObjectRef f : std::as_const(fonctions))
                JSValueUnprotect(ctx, f);
            if (objet)
                JSValueUnprotect(ctx, objet);
            JSGlobalContextRelease(ctx);
        }
    }

    // The function nom of the global Moteur, or null when it has none.
    JSObjectRef fonction(const QString& nom, JSValueRef* exc)
    {
        auto it = fonctions.constFind(nom);
        if (it != fonctions.constEnd())
            return *it;
        ChaineJS nomJS(nom);
        JSValueRef f = JSObjectGetProperty(ctx, objet, nomJS.ref, exc);
        if ((exc && *exc) || !f || !JSValueIsObject(ctx, f))
            return nullptr;
        JSObjectRef o = JSValueToObject(ctx, f, nullptr);
        if (!o || !JSObjectIsFunction(ctx, o))
            return nullptr;
        JSValueProtect(ctx, o);
        fonctions.insert(nom, o);
        return o;
    }

    // The message property of an exception, else its own text.
    QString messageException(JSValueRef exc) const
    {
        if (!exc)
            return {};
        if (JSValueIsObject(ctx, exc)) {
            ChaineJS nom(QStringLiteral("message"));
            JSValueRef m = JSObjectGetProperty(ctx, JSValueToObject(ctx, exc, nullptr), nom.ref, nullptr);
            if (m && !JSValueIsUndefined(ctx, m) && !JSValueIsNull(ctx, m)) {
                const QString t = texteDe(ctx, m);
                if (!t.isEmpty() && t != QLatin1String("undefined"))
                    return t;
            }
        }
        const QString propre = texteDe(ctx, exc);
        return propre.isEmpty() ? QStringLiteral("Le moteur a rencontré une erreur sans message.") : propre;
    }
};

Moteur& Moteur::instance()
{
    static Moteur moteur(platform::dossierRessources() + QStringLiteral("/moteur.js"));
    return moteur;
}

Moteur::Moteur(QString cheminScript) : d_(std::make_unique<Prive>()), chemin_(std::move(cheminScript)) {}

Moteur::~Moteur() = default;

std::optional<QString> Moteur::charger()
{
    std::lock_guard<std::recursive_mutex> verrou(mutex_);
    if (d_->tente)
        return d_->erreurChargement;
    d_->tente = true;
    d_->ctx = JSGlobalContextCreate(nullptr);
    {
        ChaineJS nom(QStringLiteral("Vendalo · moteur"));
        JSGlobalContextSetName(d_->ctx, nom.ref);
    }
    QFile f(chemin_);
    if (!QFileInfo::exists(chemin_) || !f.open(QIODevice::ReadOnly)) {
        d_->erreurChargement = QStringLiteral("Le fichier moteur.js est introuvable dans l'app.");
        qCWarning(lcMoteur) << "moteur.js introuvable :" << chemin_;
        return d_->erreurChargement;
    }
    const QString source = QString::fromUtf8(f.readAll());
    ChaineJS src(source);
    ChaineJS url(QFileInfo(chemin_).absoluteFilePath());
    JSValueRef exc = nullptr;
    JSEvaluateScript(d_->ctx, src.ref, nullptr, url.ref, 1, &exc);
    if (exc) {
        d_->erreurChargement = d_->messageException(exc);
        return d_->erreurChargement;
    }
    ChaineJS nomGlobal(QStringLiteral("Moteur"));
    JSValueRef g = JSObjectGetProperty(d_->ctx, JSContextGetGlobalObject(d_->ctx), nomGlobal.ref, nullptr);
    if (!g || !JSValueIsObject(d_->ctx, g)) {
        // A top-level « const Moteur » or « let Moteur » is a global binding, not a property of the global object.
        ChaineJS lecture(QStringLiteral("typeof Moteur === 'undefined' ? undefined : Moteur"));
        JSValueRef excLecture = nullptr;
        g = JSEvaluateScript(d_->ctx, lecture.ref, nullptr, nullptr, 1, &excLecture);
        if (excLecture)
            g = nullptr;
    }
    if (!g || !JSValueIsObject(d_->ctx, g)) {
        d_->erreurChargement = QStringLiteral("Le global Moteur est absent de moteur.js.");
        return d_->erreurChargement;
    }
    d_->objet = JSValueToObject(d_->ctx, g, nullptr);
    JSValueProtect(d_->ctx, d_->objet);
    return std::nullopt;
}

Resultat<ValeurJS, ErreurMoteur> Moteur::appeler(const QString& nom, const Arguments& args)
{
    std::lock_guard<std::recursive_mutex> verrou(mutex_);
    if (auto e = charger())
        return echec(ErreurMoteur::chargement(*e));
    JSContextRef ctx = d_->ctx;
    const auto rienRendu = [&nom] { return QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a rien rendu."); };
    JSValueRef exc = nullptr;
    JSObjectRef f = d_->fonction(nom, &exc);
    if (exc)
        return echec(ErreurMoteur::js(d_->messageException(exc)));
    if (!f)
        return echec(ErreurMoteur::js(rienRendu()));

    std::vector<JSValueRef> valeurs;
    valeurs.reserve(size_t(args.size()));
    std::vector<std::unique_ptr<ChaineJS>> chaines;
    for (const QJsonValue& a : args) {
        switch (a.type()) {
        case QJsonValue::Bool: valeurs.push_back(JSValueMakeBoolean(ctx, a.toBool())); break;
        case QJsonValue::Double: valeurs.push_back(JSValueMakeNumber(ctx, a.toDouble())); break;
        case QJsonValue::String:
            chaines.push_back(std::make_unique<ChaineJS>(a.toString()));
            valeurs.push_back(JSValueMakeString(ctx, chaines.back()->ref));
            break;
        case QJsonValue::Object:
        case QJsonValue::Array:
            chaines.push_back(std::make_unique<ChaineJS>(QString::fromUtf8(texteJsonTrie(a))));
            valeurs.push_back(JSValueMakeString(ctx, chaines.back()->ref));
            break;
        case QJsonValue::Null: valeurs.push_back(JSValueMakeNull(ctx)); break;
        default: valeurs.push_back(JSValueMakeUndefined(ctx)); break;
        }
    }
    exc = nullptr;
    JSValueRef r = JSObjectCallAsFunction(ctx, f, d_->objet, valeurs.size(),
                                          valeurs.empty() ? nullptr : valeurs.data(), &exc);
    if (exc)
        return echec(ErreurMoteur::js(d_->messageException(exc)));
    if (!r)
        return echec(ErreurMoteur::js(rienRendu()));
    ValeurJS v;
    switch (JSValueGetType(ctx, r)) {
    case kJSTypeUndefined: v.type = ValeurJS::Type::indefini; break;
    case kJSTypeNull: v.type = ValeurJS::Type::null; break;
    case kJSTypeBoolean:
        v.type = ValeurJS::Type::booleen;
        v.booleen = JSValueToBoolean(ctx, r);
        break;
    case kJSTypeNumber:
        v.type = ValeurJS::Type::nombre;
        v.nombre = JSValueToNumber(ctx, r, nullptr);
        break;
    case kJSTypeString:
        v.type = ValeurJS::Type::texte;
        v.texte = texteDe(ctx, r);
        break;
    default: {
        v.type = ValeurJS::Type::objet;
        JSStringRef json = JSValueCreateJSONString(ctx, r, 0, &exc);
        if (exc)
            return echec(ErreurMoteur::js(d_->messageException(exc)));
        v.texte = depuisJS(json);
        if (json)
            JSStringRelease(json);
        break;
    }
    }
    return v;
}

bool Moteur::aFonction(const QString& nom)
{
    std::lock_guard<std::recursive_mutex> verrou(mutex_);
    if (charger())
        return false;
    JSValueRef exc = nullptr;
    return d_->fonction(nom, &exc) != nullptr && !exc;
}

Resultat<QJsonValue, ErreurMoteur> Moteur::appelerJSON(const QString& nom, const Arguments& args)
{
    auto r = appeler(nom, args);
    if (!r)
        return echec(r.erreur());
    if (r.valeur().type != ValeurJS::Type::texte)
        return echec(ErreurMoteur::decodage(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a pas rendu de texte JSON.")));
    return decoderJson(nom, r.valeur().texte);
}

Resultat<QJsonValue, ErreurMoteur> Moteur::decoderJson(const QString& nom, const QString& texte)
{
    const QByteArray octets = texte.toUtf8();
    if (octets.trimmed().isEmpty())
        return echec(ErreurMoteur::decodage(QStringLiteral("Moteur.") + nom + QStringLiteral(" a rendu un texte vide.")));
    QJsonParseError err;
    // Wrapped so that a scalar JSON text decodes too.
    const QJsonDocument doc = QJsonDocument::fromJson("[" + octets + "]", &err);
    if (err.error != QJsonParseError::NoError || doc.array().size() != 1) {
        const int position = err.error != QJsonParseError::NoError ? std::max(0, err.offset - 1) : 0;
        return echec(ErreurMoteur::decodage(QStringLiteral("Le texte rendu par Moteur.%1 n'est pas du JSON valide (caractère %2).")
                                                .arg(nom)
                                                .arg(position)));
    }
    return doc.array().at(0);
}

Resultat<QString, ErreurMoteur> Moteur::appelerTexte(const QString& nom, const Arguments& args)
{
    auto r = appeler(nom, args);
    if (!r)
        return echec(r.erreur());
    if (r.valeur().type != ValeurJS::Type::texte)
        return echec(ErreurMoteur::decodage(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a pas rendu de texte.")));
    return r.valeur().texte;
}

Resultat<double, ErreurMoteur> Moteur::appelerNombre(const QString& nom, const Arguments& args)
{
    auto r = appeler(nom, args);
    if (!r)
        return echec(r.erreur());
    // A text, NaN or an infinity is no usable number: the call fails with a plain message.
    if (r.valeur().type != ValeurJS::Type::nombre || !std::isfinite(r.valeur().nombre))
        return echec(ErreurMoteur::js(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a pas rendu de nombre.")));
    return r.valeur().nombre;
}

Resultat<bool, ErreurMoteur> Moteur::appelerBooleen(const QString& nom, const Arguments& args)
{
    auto r = appeler(nom, args);
    if (!r)
        return echec(r.erreur());
    const ValeurJS& v = r.valeur();
    if (v.type == ValeurJS::Type::booleen)
        return v.booleen;
    if (v.type == ValeurJS::Type::nombre)
        return v.nombre != 0;
    return echec(ErreurMoteur::decodage(QStringLiteral("Moteur.") + nom + QStringLiteral(" n'a pas rendu de booléen.")));
}

QJsonValue Moteur::donneeParDefaut(const QString& cle)
{
    auto paires = [](std::initializer_list<std::pair<const char*, const char*>> l) {
        QJsonArray a;
        for (auto& [id, libelle] : l)
            a.append(QJsonObject{{QStringLiteral("id"), QString::fromUtf8(id)}, {QStringLiteral("libelle"), QString::fromUtf8(libelle)}});
        return a;
    };
    if (cle == QLatin1String("TYPES_APPEL"))
        return QJsonArray{QStringLiteral("decouverte")};
    if (cle == QLatin1String("TYPE_SUGGERE_PAR_ETAPE"))
        return QJsonObject{{QStringLiteral("nouveau"), QStringLiteral("prospection")}, {QStringLiteral("contacte"), QStringLiteral("decouverte")},
                           {QStringLiteral("decouverte"), QStringLiteral("demo")}, {QStringLiteral("demo"), QStringLiteral("suivi")},
                           {QStringLiteral("proposition"), QStringLiteral("closing")}, {QStringLiteral("negociation"), QStringLiteral("negociation")},
                           {QStringLiteral("gagne"), QStringLiteral("upsell")}, {QStringLiteral("perdu"), QStringLiteral("suivi")}};
    if (cle == QLatin1String("ETAPES")) {
        struct E { const char *id, *libelle, *texte, *fond; };
        static const E etapes[] = {{"nouveau", "Nouveau", "#878A94", "#F0EFEA"},      {"contacte", "Contacté", "#5B6B8C", "#ECEFF5"},
                                   {"decouverte", "Découverte", "#3D6BFF", "#EDF1FF"}, {"demo", "Démo", "#0044FF", "#E9EEFF"},
                                   {"proposition", "Proposition", "#6B4FD8", "#F0ECFD"}, {"negociation", "Négociation", "#B76E00", "#FFF3DC"},
                                   {"gagne", "Gagné", "#0E9F6E", "#E3F6EE"},          {"perdu", "Perdu", "#D93F3F", "#FDECEC"},
                                   {"sommeil", "En sommeil", "#7A7F8C", "#EEEFF2"}};
        QJsonArray a;
        for (const E& e : etapes)
            a.append(QJsonObject{{QStringLiteral("id"), QString::fromUtf8(e.id)}, {QStringLiteral("libelle"), QString::fromUtf8(e.libelle)},
                                 {QStringLiteral("couleur"), QString::fromUtf8(e.texte)}, {QStringLiteral("fond"), QString::fromUtf8(e.fond)}});
        return a;
    }
    if (cle == QLatin1String("DIMENSIONS")) {
        struct D { const char *id, *libelle; double poids; };
        static const D dims[] = {{"decouverte", "Découverte", 0.2}, {"engagement", "Engagement", 0.15}, {"valeur", "Valeur", 0.2},
                                 {"ecoute", "Écoute", 0.15},       {"objections", "Objections", 0.15}, {"closing", "Closing", 0.15}};
        QJsonArray a;
        for (const D& d : dims)
            a.append(QJsonObject{{QStringLiteral("id"), QString::fromUtf8(d.id)}, {QStringLiteral("libelle"), QString::fromUtf8(d.libelle)},
                                 {QStringLiteral("poids"), d.poids}});
        return a;
    }
    if (cle == QLatin1String("CATEGORIES_OBJECTION"))
        return paires({{"prix", "Prix"}, {"autre", "Autre"}});
    if (cle == QLatin1String("CATEGORIES_QUESTION"))
        return paires({{"situation", "Situation"}, {"probleme", "Problème"}, {"impact", "Impact"}, {"budget", "Budget"},
                       {"decision", "Décision"}, {"echeance", "Échéance"}, {"autre", "Autre"}});
    if (cle == QLatin1String("ROLES"))
        return paires({{"autre", "Autre"}});
    if (cle == QLatin1String("STYLES"))
        return paires({{"consultatif", "Consultatif"}});
    if (cle == QLatin1String("MODELES"))
        return QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("claude-haiku-4-5")}, {QStringLiteral("libelle"), QStringLiteral("Claude Haiku 4.5")},
                                      {QStringLiteral("description"), QStringLiteral("Le plus rapide, pour le live")}},
                          QJsonObject{{QStringLiteral("id"), QStringLiteral("claude-opus-5-5")}, {QStringLiteral("libelle"), QStringLiteral("Claude Opus 5.5")},
                                      {QStringLiteral("description"), QStringLiteral("Meilleure analyse")}}};
    if (cle == QLatin1String("LANGUES"))
        return paires({{"fr", "Français"}, {"en", "Anglais"}, {"multi", "Détection auto"}});
    if (cle == QLatin1String("ETAPES_ANALYSE"))
        return QJsonArray{QStringLiteral("Transcript"), QStringLiteral("Métriques"), QStringLiteral("Historique du prospect"),
                          QStringLiteral("Analyse Quillo"), QStringLiteral("Mise à jour du CRM")};
    if (cle == QLatin1String("TACHES_LIVE"))
        return QJsonArray{QStringLiteral("objection"), QStringLiteral("questions"), QStringLiteral("recap"), QStringLiteral("libre")};
    return QJsonValue();
}

QJsonValue Moteur::donnee(const QString& cle)
{
    std::lock_guard<std::recursive_mutex> verrou(mutex_);
    if (!donnees_) {
        donnees_ = QJsonObject();
        // Moteur.donnees is a plain object of the script; read it once as JSON.
        if (!charger()) {
            JSContextRef ctx = d_->ctx;
            ChaineJS nom(QStringLiteral("donnees"));
            JSValueRef v = JSObjectGetProperty(ctx, d_->objet, nom.ref, nullptr);
            if (v && JSValueIsObject(ctx, v)) {
                JSStringRef json = JSValueCreateJSONString(ctx, v, 0, nullptr);
                if (json) {
                    donnees_ = QJsonDocument::fromJson(depuisJS(json).toUtf8()).object();
                    JSStringRelease(json);
                }
            }
        }
    }
    const QJsonValue v = donnees_->value(cle);
    const bool vide = v.isUndefined() || v.isNull() || (v.isArray() && v.toArray().isEmpty()) ||
                      (v.isObject() && v.toObject().isEmpty()) || (v.isString() && v.toString().isEmpty());
    const QJsonValue repli = donneeParDefaut(cle);
    // A key of the wrong kind (a text where a list is expected) is as good as absent.
    const bool autreGenre = !repli.isUndefined() && !repli.isNull() && repli.type() != v.type();
    return (vide || autreGenre) && !repli.isUndefined() ? repli : (vide ? QJsonValue() : v);
}

Resultat<QString, ErreurMoteur> Moteur::phase(const QString& fonction, const QJsonValue& entree)
{
    std::lock_guard<std::recursive_mutex> verrou(mutex_);
    const QString cle = fonction + QLatin1Char(':') + QString::fromUtf8(texteJsonTrie(entree));
    auto it = cachePhases_.constFind(cle);
    if (it != cachePhases_.constEnd())
        return *it;
    auto r = appelerTexte(fonction, {entree});
    if (r) {
        // A bound on the memo: renders of a long pipeline must not grow it for ever.
        if (cachePhases_.size() >= 4096)
            cachePhases_.clear();
        cachePhases_.insert(cle, r.valeur());
    }
    return r;
}

Resultat<QString, ErreurMoteur> Moteur::phaseDeduite(const QJsonValue& entree) { return phase(QStringLiteral("phaseDeduite"), entree); }
Resultat<QString, ErreurMoteur> Moteur::phaseEtape(const QJsonValue& entree) { return phase(QStringLiteral("phaseEtape"), entree); }

} // namespace vd::ai
