#include "etat.h"

#include <cmath>

namespace vd::model {

namespace {

inline VueJson val(const VueJson& o, const char* k) { return o.champ(k); }

bool idNonVide(const JSONValeur& v)
{
    return !lire::texte(v.qt().toObject().value(QLatin1StringView("id")), QString()).isEmpty();
}

QList<JSONValeur> avecId(const VueJson& v)
{
    QList<JSONValeur> r = lire::objetsBruts(v);
    r.removeIf([](const JSONValeur& x) { return !idNonVide(x); });
    return r;
}

template<typename T>
T* trouver(QList<T>& l, const QString& id)
{
    for (T& x : l)
        if (x.id == id)
            return &x;
    return nullptr;
}

// Const lookups must not detach a list shared with a save snapshot.
template<typename T>
const T* trouver(const QList<T>& l, const QString& id)
{
    for (const T& x : l)
        if (x.id == id)
            return &x;
    return nullptr;
}

} // namespace

std::optional<Etat> Etat::depuisJson(const VueJson& v)
{
    if (!v.isObject())
        return std::nullopt;
    const VueJson& o = v;
    Etat e;
    const VueJson version = val(o, "version");
    e.version = (version.isDouble() && version.toDouble() == std::floor(version.toDouble())) ? lire::entier(version).value_or(2) : 2;
    e.reglages = Reglages::depuisJson(val(o, "reglages")).value_or(Reglages{});
    e.entreprise = Entreprise::depuisJson(val(o, "entreprise")).value_or(Entreprise{});
    e.profilsClients = lire::liste<ProfilClient>(val(o, "profilsClients"));
    e.objections = lire::liste<ObjectionLib>(val(o, "objections"));
    e.contacts = lire::liste<Contact>(val(o, "contacts"));
    e.interactions = lire::liste<Interaction>(val(o, "interactions"));
    e.appels = lire::liste<Appel>(val(o, "appels"));
    e.questionsFavorites = lire::liste<QuestionFavorite>(val(o, "questionsFavorites"));
    e.questionsFavorites.removeIf([](const QuestionFavorite& q) { return q.id.isEmpty() || q.texte.trimmed().isEmpty(); });
    e.quilloConversations = avecId(val(o, "quilloConversations"));
    e.quilloMemoire = lire::textes(val(o, "quilloMemoire"));
    e.frameworks = avecId(val(o, "frameworks"));
    e.objectifs = lire::liste<ObjectifLocal>(val(o, "objectifs"));
    e.objectifs.removeIf([](const ObjectifLocal& x) { return x.id.isEmpty(); });
    e.briefsAgenda = avecId(val(o, "briefsAgenda"));
    e.frameworkIgnorees = lire::textes(val(o, "frameworkIgnorees"));
    return e;
}

void ecrire(EcrivainJson& e, const Etat& r)
{
    e.debutObjet();
    e.champ("version", r.version);
    e.champ("reglages", r.reglages);
    e.champ("entreprise", r.entreprise);
    e.champ("profilsClients", r.profilsClients);
    e.champ("objections", r.objections);
    e.champ("contacts", r.contacts);
    e.champ("interactions", r.interactions);
    e.champ("appels", r.appels);
    e.champ("questionsFavorites", r.questionsFavorites);
    e.champ("quilloConversations", r.quilloConversations);
    e.champ("quilloMemoire", r.quilloMemoire);
    e.champ("frameworks", r.frameworks);
    e.champ("objectifs", r.objectifs);
    e.champ("briefsAgenda", r.briefsAgenda);
    e.champ("frameworkIgnorees", r.frameworkIgnorees);
    e.finObjet();
}

const Appel* Etat::appel(const QString& id) const { return trouver(appels, id); }
Appel* Etat::appel(const QString& id) { return trouver(appels, id); }
const Contact* Etat::contact(const QString& id) const { return trouver(contacts, id); }
Contact* Etat::contact(const QString& id) { return trouver(contacts, id); }

} // namespace vd::model
