// Record-level differences between two states, and their replay. A payload:
//   {"e":{<top-level fields replaced whole, in the state file's own form>},
//    "d":[{"c":"contacts","id":"c1"}…],
//    "p":[{"c":"contacts","i":3,"e":{"contacts":[<record>]}}…]}
// Deletions apply first, then the records in increasing final position: one
// whose id sits at its position replaces it, any other is inserted there.
// Lists whose order changed or whose ids are not unique are written whole.
#include "journal.h"

#include <QHash>
#include <QSet>

namespace vd::model::journal {

namespace {

template<typename T>
QString idDe(const T& x)
{
    return x.id;
}
template<>
QString idDe(const JSONValeur& x)
{
    return x.qt().toObject().value(QLatin1String("id")).toString();
}

struct Sortie {
    QByteArray entier, suppressions, enregistrements;
    EcrivainJson e{entier};
    EcrivainJson d{suppressions};
    EcrivainJson p{enregistrements};
    Sortie()
    {
        e.debutObjet();
        d.debutTableau();
        p.debutTableau();
    }
    bool vide = true;
};

template<typename T>
bool idsUniques(const QList<T>& l, QHash<QString, qsizetype>* index)
{
    QHash<QString, qsizetype> vus;
    vus.reserve(l.size());
    for (qsizetype i = 0; i < l.size(); ++i) {
        const QString id = idDe(l[i]);
        if (id.isEmpty() || vus.contains(id))
            return false;
        vus.insert(id, i);
    }
    if (index)
        *index = std::move(vus);
    return true;
}

template<typename T>
void enregistrement(Sortie& s, const char* cle, qsizetype i, const T& x)
{
    s.p.debutObjet();
    s.p.champ("c", cle);
    s.p.champ("i", qint64(i));
    s.p.cle("e");
    s.p.debutObjet();
    s.p.champ(cle, QList<T>{x});
    s.p.finObjet();
    s.p.finObjet();
    s.vide = false;
}

template<typename T>
void liste(Sortie& s, const char* cle, const QList<T>& avant, const QList<T>& apres)
{
    if (avant.isSharedWith(apres))
        return;
    // Same ids at the same places: only the changed records.
    bool memesPlaces = avant.size() == apres.size();
    for (qsizetype i = 0; memesPlaces && i < apres.size(); ++i)
        memesPlaces = idDe(avant[i]) == idDe(apres[i]);
    if (memesPlaces) {
        for (qsizetype i = 0; i < apres.size(); ++i)
            if (!(avant[i] == apres[i]))
                enregistrement(s, cle, i, apres[i]);
        return;
    }
    QHash<QString, qsizetype> indexAvant, indexApres;
    bool simple = idsUniques(avant, &indexAvant) && idsUniques(apres, &indexApres);
    // The records kept must stay in the same order.
    qsizetype dernier = -1;
    for (qsizetype i = 0; simple && i < apres.size(); ++i) {
        const auto it = indexAvant.constFind(idDe(apres[i]));
        if (it == indexAvant.constEnd())
            continue;
        simple = *it > dernier;
        dernier = *it;
    }
    if (!simple) {
        s.e.champ(cle, apres);
        s.vide = false;
        return;
    }
    for (const T& x : avant) {
        const QString id = idDe(x);
        if (!indexApres.contains(id)) {
            s.d.debutObjet();
            s.d.champ("c", cle);
            s.d.champ("id", id);
            s.d.finObjet();
            s.vide = false;
        }
    }
    for (qsizetype i = 0; i < apres.size(); ++i) {
        const auto it = indexAvant.constFind(idDe(apres[i]));
        if (it == indexAvant.constEnd() || !(avant[*it] == apres[i]))
            enregistrement(s, cle, i, apres[i]);
    }
}

template<typename T>
void champ(Sortie& s, const char* cle, const T& avant, const T& apres)
{
    if (avant == apres)
        return;
    s.e.champ(cle, apres);
    s.vide = false;
}

// Calls f(key, member) for every top-level field of Etat, in the state file's order.
template<typename F>
void pourChaqueChamp(F&& f)
{
    f("version", &Etat::version);
    f("reglages", &Etat::reglages);
    f("entreprise", &Etat::entreprise);
    f("profilsClients", &Etat::profilsClients);
    f("objections", &Etat::objections);
    f("contacts", &Etat::contacts);
    f("interactions", &Etat::interactions);
    f("appels", &Etat::appels);
    f("questionsFavorites", &Etat::questionsFavorites);
    f("quilloConversations", &Etat::quilloConversations);
    f("quilloMemoire", &Etat::quilloMemoire);
    f("frameworks", &Etat::frameworks);
    f("objectifs", &Etat::objectifs);
    f("briefsAgenda", &Etat::briefsAgenda);
    f("frameworkIgnorees", &Etat::frameworkIgnorees);
}

template<typename T>
struct EstListeEnregistrements : std::false_type {};
template<typename T>
struct EstListeEnregistrements<QList<T>> : std::bool_constant<!std::is_same_v<T, QString>> {};

template<typename T>
void appliquerEnregistrement(QList<T>& l, qsizetype i, const QList<T>& decode)
{
    if (decode.size() != 1)
        return;   // a record the lenient reading drops, as the state file's reading would
    const T& x = decode.first();
    i = std::clamp<qsizetype>(i, 0, l.size());
    if (i < l.size() && idDe(l[i]) == idDe(x))
        l[i] = x;
    else
        l.insert(i, x);
}

} // namespace

QByteArray difference(const Etat& avant, const Etat& apres)
{
    Sortie s;
    pourChaqueChamp([&](const char* cle, auto membre) {
        using Type = std::remove_cvref_t<decltype(avant.*membre)>;
        if constexpr (EstListeEnregistrements<Type>::value)
            liste(s, cle, avant.*membre, apres.*membre);
        else
            champ(s, cle, avant.*membre, apres.*membre);
    });
    if (s.vide)
        return {};
    s.e.finObjet();
    s.d.finTableau();
    s.p.finTableau();
    return "{\"e\":" + s.entier + ",\"d\":" + s.suppressions + ",\"p\":" + s.enregistrements + "}";
}

bool appliquer(Etat& etat, const QByteArray& charge)
{
    const auto doc = DocJson::analyser(charge);
    if (!doc || !doc->racine().isObject())
        return false;
    const VueJson racine = doc->racine();
    // Fields replaced whole, read by the state file's own reading.
    const VueJson entier = racine.champ("e");
    if (entier.isObject() && entier.taille() > 0) {
        const auto partiel = Etat::depuisJson(entier);
        if (!partiel)
            return false;
        pourChaqueChamp([&](const char* cle, auto membre) {
            if (entier.champ(cle).existe())
                etat.*membre = (*partiel).*membre;
        });
    }
    QHash<QString, QSet<QString>> retires;
    for (const VueJson d : racine.champ("d"))
        retires[d.champ("c").toString()].insert(d.champ("id").toString());
    if (!retires.isEmpty()) {
        pourChaqueChamp([&](const char* cle, auto membre) {
            using Type = std::remove_cvref_t<decltype(etat.*membre)>;
            if constexpr (EstListeEnregistrements<Type>::value) {
                const auto it = retires.constFind(QString::fromLatin1(cle));
                if (it != retires.constEnd())
                    (etat.*membre).removeIf([&](const auto& x) { return it->contains(idDe(x)); });
            }
        });
    }
    for (const VueJson p : racine.champ("p")) {
        const QByteArray c = p.champ("c").toString().toLatin1();
        const qsizetype i = qsizetype(p.champ("i").toDouble());
        const VueJson e = p.champ("e");
        if (!e.isObject())
            return false;
        pourChaqueChamp([&](const char* cle, auto membre) {
            using Type = std::remove_cvref_t<decltype(etat.*membre)>;
            if constexpr (EstListeEnregistrements<Type>::value) {
                if (c == cle) {
                    if (const auto partiel = Etat::depuisJson(e))
                        appliquerEnregistrement(etat.*membre, i, (*partiel).*membre);
                }
            }
        });
    }
    return true;
}

} // namespace vd::model::journal
