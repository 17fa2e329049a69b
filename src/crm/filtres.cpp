#include "filtres.h"

#include "etapes.h"
#include "model/texte.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

namespace vd::crm {

namespace {

QString chiffres(const QString& t)
{
    QString r;
    r.reserve(t.size());
    for (QChar ch : t)
        if (ch.isDigit())
            r.append(ch);
    return r;
}

bool sequenceEnCours(const QJsonObject& s)
{
    const QString statut = s.value(QLatin1String("statut")).toString();
    return statut == QLatin1String("active") || statut == QLatin1String("sommeil");
}

// The first unsent step of a running sequence.
std::optional<QString> premiereEtapeDue(const model::Contact& c)
{
    if (!c.relance || !c.relance->qt().isObject())
        return std::nullopt;
    const QJsonObject s = c.relance->qt().toObject();
    if (!sequenceEnCours(s))
        return std::nullopt;
    std::optional<QString> premiere;
    for (const QJsonValue& v : s.value(QLatin1String("etapes")).toArray()) {
        const QJsonObject e = v.toObject();
        if (e.value(QLatin1String("statut")).toString() == QLatin1String("envoyee"))
            continue;
        const QString date = e.value(QLatin1String("date")).toString();
        if (!date.isEmpty() && (!premiere || date < *premiere))
            premiere = date;
    }
    return premiere;
}

QString jourDe(const QString& echeance) { return echeance.left(10); }

} // namespace

std::optional<EcheanceCRM> echeanceContact(const model::Contact& c)
{
    QString e;
    if (auto d = premiereEtapeDue(c))
        e = *d;
    else if (c.prochaineAction && !c.prochaineAction->echeance.trimmed().isEmpty())
        e = c.prochaineAction->echeance.trimmed();
    if (e.isEmpty())
        return std::nullopt;
    return EcheanceCRM{e, e.size() > 10 && e.at(10) == QLatin1Char('T')};
}

namespace {
QString jourDu(const model::Contact& c)
{
    QString jour;
    if (auto d = premiereEtapeDue(c))
        jour = jourDe(*d);
    if (c.prochaineAction && !estIssue(c.etape)) {
        const QString p = jourDe(c.prochaineAction->echeance.trimmed());
        if (!p.isEmpty() && (jour.isEmpty() || p < jour))
            jour = p;
    }
    return jour;
}
} // namespace

bool aRelancer(const model::Contact& c, const QString& aujourdhui)
{
    const QString jour = jourDu(c);
    return !jour.isEmpty() && jour <= aujourdhui;
}

QString texteRecherche(const model::Contact& c)
{
    QString t;
    t.reserve(160);
    for (const QString* s : {&c.prenom, &c.nom, &c.societe, &c.poste, &c.email, &c.tel, &c.source, &c.notes}) {
        t += *s;
        t += QLatin1Char(' ');
    }
    t += c.tags.join(QLatin1Char(' '));
    QString r = model::plier(t);
    const QString tel = chiffres(c.tel);
    if (!tel.isEmpty())
        r += QLatin1Char(' ') + tel;
    return r;
}

QStringList motsRecherche(const QString& recherche)
{
    return model::plier(recherche).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool correspondRecherche(const QString& texteContact, const QStringList& motsPlies)
{
    for (const QString& m : motsPlies)
        if (!texteContact.contains(m))
            return false;
    return true;
}

IndexContacts::Entree IndexContacts::entree(const model::Contact& c)
{
    return Entree{texteRecherche(c), jourDu(c), c.etape, c.profilClientId};
}

void IndexContacts::mettreAJour(const QList<model::Contact>& contacts)
{
    if (contacts.isSharedWith(source_) && qsizetype(entrees_.size()) == contacts.size())
        return;
    std::vector<Entree> nouvelles;
    nouvelles.reserve(size_t(contacts.size()));
    QHash<QString, qsizetype> positions;   // built only when the order moved
    for (qsizetype i = 0; i < contacts.size(); ++i) {
        const model::Contact& c = contacts[i];
        qsizetype ancien = -1;
        if (i < source_.size() && source_[i].id == c.id)
            ancien = i;
        else {
            if (positions.isEmpty())
                for (qsizetype j = 0; j < source_.size(); ++j)
                    positions.insert(source_[j].id, j);
            ancien = positions.value(c.id, -1);
        }
        if (ancien >= 0 && source_[ancien] == c)
            nouvelles.push_back(entrees_[size_t(ancien)]);
        else
            nouvelles.push_back(entree(c));
    }
    entrees_ = std::move(nouvelles);
    source_ = contacts;
}

QList<int> IndexContacts::filtrer(const CriteresCRM& c, const QString& aujourdhui) const
{
    const QStringList mots = motsRecherche(c.recherche);
    QList<int> r;
    r.reserve(qsizetype(entrees_.size()));
    for (size_t i = 0; i < entrees_.size(); ++i) {
        const Entree& e = entrees_[i];
        if (!c.etape.isEmpty() && e.etape != c.etape)
            continue;
        if (!c.profil.isEmpty() && e.profil != c.profil)
            continue;
        if (c.relances && (e.echeance.isEmpty() || e.echeance > aujourdhui))
            continue;
        if (!mots.isEmpty() && !correspondRecherche(e.texte, mots))
            continue;
        r.append(int(i));
    }
    return r;
}

void FiltresCRM::setRecherche(const QString& t)
{
    if (t == c_.recherche)
        return;
    c_.recherche = t;
    Q_EMIT criteresChanges();
}

void FiltresCRM::setEtape(const QString& e)
{
    if (e == c_.etape)
        return;
    c_.etape = e;
    Q_EMIT criteresChanges();
}

void FiltresCRM::setProfil(const QString& p)
{
    if (p == c_.profil)
        return;
    c_.profil = p;
    Q_EMIT criteresChanges();
}

void FiltresCRM::setRelances(bool r)
{
    if (r == c_.relances)
        return;
    c_.relances = r;
    Q_EMIT criteresChanges();
}

void FiltresCRM::effacer()
{
    if (!c_.actif() && c_.recherche.isEmpty())
        return;
    c_ = {};
    Q_EMIT criteresChanges();
}

void FiltresCRM::basculerSelection(const QString& id, bool choisi)
{
    if (choisi == selection_.contains(id))
        return;
    if (choisi)
        selection_.insert(id);
    else
        selection_.remove(id);
    Q_EMIT selectionChangee();
}

void FiltresCRM::deselectionner()
{
    if (selection_.isEmpty())
        return;
    selection_.clear();
    Q_EMIT selectionChangee();
}

void FiltresCRM::garderSelection(const QSet<QString>& existants)
{
    const qsizetype avant = selection_.size();
    selection_.removeIf([&](const QString& id) { return !existants.contains(id); });
    if (selection_.size() != avant)
        Q_EMIT selectionChangee();
}

} // namespace vd::crm
