#include "importcrm.h"

#include "model/texte.h"
#include "xlsx.h"

#include <QDate>
#include <QJsonObject>
#include <QRegularExpression>

namespace vd::crm {

namespace {

bool estEspace(QChar c)
{
    return c.isSpace() || c.category() == QChar::Separator_Space || c == QChar(0x202F) || c == QChar(0x00A0);
}

QString sansEspaces(const QString& v)
{
    QString r;
    r.reserve(v.size());
    for (QChar c : v)
        if (!estEspace(c))
            r.append(c);
    return r;
}

std::optional<double> nombreSimple(const QString& t)
{
    static const QRegularExpression forme(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!forme.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);   // QString::toDouble ignores the locale
    return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

QString couper(const QString& v, qsizetype max)
{
    const QString t = v.trimmed();
    return t.size() > max ? t.left(max) : t;
}

QJsonObject entreeQualification(const ItemQualification& it, const QString& valeur, const QString& jour)
{
    return QJsonObject{{QStringLiteral("item"), it.id}, {QStringLiteral("nom"), it.nom}, {QStringLiteral("valeur"), valeur},
                       {QStringLiteral("preuve"), QString()}, {QStringLiteral("date"), jour}, {QStringLiteral("source"), QStringLiteral("import")}};
}

qsizetype indexQualification(const model::Contact& c, const QString& item)
{
    if (!c.qualification)
        return -1;
    for (qsizetype i = 0; i < c.qualification->size(); ++i)
        if ((*c.qualification)[i].qt().toObject().value(QStringLiteral("item")).toString() == item)
            return i;
    return -1;
}

QString* champTexte(model::Contact& c, const QString& champ)
{
    static const QHash<QString, QString model::Contact::*> textes = {
        {QStringLiteral("prenom"), &model::Contact::prenom},   {QStringLiteral("nom"), &model::Contact::nom},
        {QStringLiteral("email"), &model::Contact::email},     {QStringLiteral("tel"), &model::Contact::tel},
        {QStringLiteral("linkedin"), &model::Contact::linkedin}, {QStringLiteral("societe"), &model::Contact::societe},
        {QStringLiteral("poste"), &model::Contact::poste},     {QStringLiteral("source"), &model::Contact::source},
        {QStringLiteral("notes"), &model::Contact::notes},     {QStringLiteral("profil"), &model::Contact::profilClientId},
        {QStringLiteral("etape"), &model::Contact::etape}};
    if (auto it = textes.constFind(champ); it != textes.constEnd())
        return &(c.*(*it));
    static const QHash<QString, QString model::ChampsContact::*> champs = {
        {QStringLiteral("champs.budget"), &model::ChampsContact::budget},
        {QStringLiteral("champs.decideur"), &model::ChampsContact::decideur},
        {QStringLiteral("champs.echeance"), &model::ChampsContact::echeance},
        {QStringLiteral("champs.douleur"), &model::ChampsContact::douleur}};
    if (auto it = champs.constFind(champ); it != champs.constEnd())
        return &(c.champs.*(*it));
    return nullptr;
}

} // namespace

std::optional<double> lireNombre(const QString& valeur)
{
    QString t = sansEspaces(valeur.toLower());
    // Longest words first, so that "euros" never leaves "os" behind.
    static const char* const unites[] = {"euros", "euro", "eur", "usd", "ttc", "ht", "€", "$", "£", "%"};
    for (const char* u : unites)
        t.remove(QString::fromUtf8(u));
    if (t.isEmpty())
        return std::nullopt;
    double multiplicateur = 1;
    if (t.endsWith(u'k'))
        multiplicateur = 1000;
    else if (t.endsWith(u'm'))
        multiplicateur = 1000000;
    if (multiplicateur != 1)
        t.chop(1);
    const qsizetype virgules = t.count(u','), points = t.count(u'.');
    if (virgules && points) {
        const bool virguleDecimale = t.lastIndexOf(u',') > t.lastIndexOf(u'.');
        t.remove(virguleDecimale ? u'.' : u',');
        if (virguleDecimale)
            t.replace(u',', u'.');
    } else if (virgules > 1) {
        t.remove(u',');
    } else if (points > 1) {
        t.remove(u'.');
    } else if (virgules == 1) {
        const qsizetype p = t.indexOf(u',');
        const bool milliers = multiplicateur == 1 && t.size() - p - 1 == 3 && !t.startsWith(QLatin1String("0,"));
        if (milliers)
            t.remove(u',');
        else
            t.replace(u',', u'.');
    }
    const auto v = nombreSimple(t);
    if (!v)
        return std::nullopt;
    return *v * multiplicateur;
}

std::optional<QString> lireDate(const QString& valeur)
{
    const QString brut = valeur.trimmed();
    if (brut.isEmpty())
        return std::nullopt;
    const QString compact = sansEspaces(brut);
    static const QRegularExpression entier(QStringLiteral("^\\d+$"));
    if (entier.match(compact).hasMatch()) {
        bool ok = false;
        const int n = compact.toInt(&ok);
        if (ok && n >= 20001 && n <= 79999)
            return dateDepuisSerie(n, false).left(10);
    }
    QString t = brut;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (t[i] == u'T' || estEspace(t[i])) {
            t.truncate(i);
            break;
        }
    static const QRegularExpression trois(QStringLiteral("^(\\d{1,4})\\D(\\d{1,2})\\D(\\d{1,4})$"));
    const auto m = trois.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const QString a = m.captured(1), b = m.captured(2), c = m.captured(3);
    int annee, mois, jour;
    if (a.size() == 4) {
        annee = a.toInt();
        mois = b.toInt();
        jour = c.toInt();
    } else {
        if (c.size() != 2 && c.size() != 4)
            return std::nullopt;
        annee = c.toInt();
        if (c.size() == 2)
            annee += annee < 70 ? 2000 : 1900;
        if (a.toInt() <= 12 && b.toInt() >= 13) {
            mois = a.toInt();
            jour = b.toInt();
        } else {
            jour = a.toInt();
            mois = b.toInt();
        }
    }
    if (mois < 1 || mois > 12 || jour < 1 || jour > 31 || annee < 1900 || annee > 2200)
        return std::nullopt;
    // 31/02 is not a day.
    if (!QDate(annee, mois, jour).isValid())
        return std::nullopt;
    return QString::asprintf("%04d-%02d-%02d", annee, mois, jour);
}

QString nettoyerEmail(const QString& valeur, bool* plusieurs)
{
    QString t = valeur.trimmed();
    if (t.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        t = t.mid(7);
    const qsizetype ouvre = t.indexOf(u'<'), ferme = t.indexOf(u'>', ouvre + 1);
    if (ouvre >= 0 && ferme > ouvre)
        t = t.mid(ouvre + 1, ferme - ouvre - 1);
    static const QRegularExpression coupe(QStringLiteral("[,;\\s]+"));
    int adresses = 0;
    QString premier;
    for (const QString& morceau : t.split(coupe, Qt::SkipEmptyParts))
        if (morceau.contains(u'@')) {
            if (adresses++ == 0)
                premier = morceau.trimmed();
        }
    if (plusieurs)
        *plusieurs = adresses > 1;
    return premier;
}

bool emailValide(const QString& email)
{
    static const QRegularExpression forme(QStringLiteral("^[^\\s@]+@[^\\s@]+\\.[^\\s@]+$"));
    return forme.match(email).hasMatch();
}

bool ressembleTelephone(const QString& valeur)
{
    int chiffres = 0;
    for (QChar c : valeur) {
        if (c.isDigit() && c.unicode() < 128)
            ++chiffres;
        else if (!(c == u' ' || c == u'+' || c == u'-' || c == u'.' || c == u'(' || c == u')' || c == u'/'))
            return false;
    }
    // A birthday column is not the telephone.
    return chiffres >= 8 && chiffres <= 15 && !lireDate(valeur);
}

bool champVide(const model::Contact& c, const QString& champ)
{
    if (const QString* t = champTexte(const_cast<model::Contact&>(c), champ))
        return champ == QLatin1String("etape") ? false : t->trimmed().isEmpty();
    if (champ == QLatin1String("valeur"))
        return c.valeur == 0;
    if (champ == QLatin1String("probabilite"))
        return false;   // follows the stage, which an update never empties
    if (champ == QLatin1String("tags"))
        return c.tags.isEmpty();
    if (champ == QLatin1String("action"))
        return !c.prochaineAction || c.prochaineAction->texte.trimmed().isEmpty();
    if (champ == QLatin1String("echeanceAction"))
        return !c.prochaineAction || c.prochaineAction->echeance.isEmpty();
    if (champ == QLatin1String("raisonPerte"))
        return !c.raisonPerte || c.raisonPerte->isEmpty();
    if (champ.startsWith(QLatin1String("qualif:"))) {
        const qsizetype i = indexQualification(c, champ.mid(7));
        return i < 0 || (*c.qualification)[i].qt().toObject().value(QStringLiteral("valeur")).toString().trimmed().isEmpty();
    }
    return true;
}

void copierChamp(model::Contact& cible, const model::Contact& source, const QString& champ)
{
    if (QString* t = champTexte(cible, champ)) {
        *t = *champTexte(const_cast<model::Contact&>(source), champ);
        if (champ == QLatin1String("etape")) {
            cible.issueLe = source.issueLe;
            if (source.etape != QLatin1String("perdu"))
                cible.raisonPerte.reset();
        }
    } else if (champ == QLatin1String("valeur"))
        cible.valeur = source.valeur;
    else if (champ == QLatin1String("probabilite"))
        cible.probabilite = source.probabilite;
    else if (champ == QLatin1String("tags"))
        cible.tags = source.tags;
    else if (champ == QLatin1String("action")) {
        model::ProchaineAction a = cible.prochaineAction.value_or(model::ProchaineAction{});
        a.texte = source.prochaineAction ? source.prochaineAction->texte : QString();
        cible.prochaineAction = a;
    } else if (champ == QLatin1String("echeanceAction")) {
        model::ProchaineAction a = cible.prochaineAction.value_or(model::ProchaineAction{});
        a.echeance = source.prochaineAction ? source.prochaineAction->echeance : QString();
        if (a.texte.isEmpty() && !a.echeance.isEmpty())
            a.texte = QStringLiteral("Relancer");
        cible.prochaineAction = a;
    } else if (champ == QLatin1String("raisonPerte"))
        cible.raisonPerte = source.raisonPerte;
    else if (champ.startsWith(QLatin1String("qualif:"))) {
        const qsizetype j = indexQualification(source, champ.mid(7));
        if (j < 0)
            return;
        QList<model::JSONValeur> l = cible.qualification.value_or(QList<model::JSONValeur>());
        const qsizetype i = indexQualification(cible, champ.mid(7));
        if (i >= 0)
            l[i] = (*source.qualification)[j];
        else
            l.append((*source.qualification)[j]);
        cible.qualification = l;
    }
}

QString cleDoublon(const model::Contact& c)
{
    const QString email = c.email.trimmed().toLower();
    if (!email.isEmpty())
        return QStringLiteral("e:") + email;
    const QString nom = (normaliserEntete(c.prenom) + QLatin1Char(' ') + normaliserEntete(c.nom)).trimmed();
    if (!nom.isEmpty())
        return QStringLiteral("n:") + nom + QLatin1Char('|') + normaliserEntete(c.societe);
    // A company alone still names one record: without a key it would come back on every import.
    const QString societe = normaliserEntete(c.societe);
    if (!societe.isEmpty())
        return QStringLiteral("s:") + societe;
    return {};
}

LigneLue lireLigne(const TableauImport::Ligne& ligne, const TableauImport& t, const RegleLecture& regle, const ContexteImport& ctx)
{
    LigneLue r;
    r.numero = ligne.numero;
    model::Contact& c = r.contact;
    c.etape = QStringLiteral("nouveau");
    QString notes;
    QStringList lignesNotes;
    std::optional<QString> issue, raison, action, echeance;
    std::optional<double> proba;
    bool etapeLue = false;
    auto remplir = [&](const char* champ) { r.remplis.insert(QString::fromLatin1(champ)); };

    for (qsizetype i = 0; i < regle.correspondances.size() && i < ligne.cellules.size(); ++i) {
        const QString& champ = regle.correspondances[i];
        if (champ.isEmpty())
            continue;
        const bool long_ = champ == QLatin1String("notes") || champ == QLatin1String("noteLibre");
        const QString v = couper(ligne.cellules[i], long_ ? 20000 : 300);
        if (v.isEmpty())
            continue;
        if (champ == QLatin1String("nomComplet")) {
            const qsizetype virgule = v.indexOf(u',');
            if (virgule > 0) {
                c.nom = v.left(virgule).trimmed();
                c.prenom = v.mid(virgule + 1).trimmed();
            } else {
                const qsizetype espace = v.indexOf(u' ');
                c.prenom = espace > 0 ? v.left(espace) : QString();
                c.nom = espace > 0 ? v.mid(espace + 1).trimmed() : v;
            }
            if (!c.prenom.isEmpty())
                remplir("prenom");
            if (!c.nom.isEmpty())
                remplir("nom");
        } else if (champ == QLatin1String("email")) {
            bool plusieurs = false;
            const QString e = nettoyerEmail(v, &plusieurs);
            if (plusieurs)
                r.avertissements << QStringLiteral("Plusieurs emails : seul le premier est gardé");
            if (emailValide(e)) {
                c.email = e;
                remplir("email");
            } else
                r.avertissements << QStringLiteral("Email invalide « %1 »").arg(v);
        } else if (champ == QLatin1String("site")) {
            lignesNotes << QStringLiteral("Site web : ") + v;
        } else if (champ == QLatin1String("ville")) {
            lignesNotes << QStringLiteral("Ville : ") + v;
        } else if (champ == QLatin1String("noteLibre")) {
            const QString titre = i < t.entetes.size() && !t.entetes[i].trimmed().isEmpty() ? t.entetes[i].trimmed() : QStringLiteral("Note");
            lignesNotes << titre + QStringLiteral(" : ") + v;
        } else if (champ == QLatin1String("notes")) {
            notes = v;
        } else if (champ == QLatin1String("etape")) {
            const QString id = regle.etapesChoisies.value(v);
            c.etape = !id.isEmpty() ? id : (ctx.etapes.isEmpty() ? QStringLiteral("nouveau") : ctx.etapes.first().id);
            etapeLue = true;
        } else if (champ == QLatin1String("issue")) {
            issue = v;
        } else if (champ == QLatin1String("raisonPerte")) {
            raison = v;
        } else if (champ == QLatin1String("valeur")) {
            const auto n = lireNombre(v);
            if (n && *n >= 0) {
                c.valeur = *n;
                remplir("valeur");
            } else
                r.avertissements << QStringLiteral("Valeur illisible « %1 »").arg(v);
        } else if (champ == QLatin1String("probabilite")) {
            const auto n = lireNombre(v);
            if (n)
                proba = std::clamp(*n, 0.0, 100.0);
            else
                r.avertissements << QStringLiteral("Probabilité illisible « %1 »").arg(v);
        } else if (champ == QLatin1String("profil")) {
            const QString cherche = normaliserEntete(v);
            const auto it = std::find_if(ctx.profils.cbegin(), ctx.profils.cend(),
                                         [&](const auto& p) { return normaliserEntete(p.second) == cherche; });
            if (it != ctx.profils.cend()) {
                c.profilClientId = it->first;
                remplir("profil");
            } else
                r.avertissements << QStringLiteral("Profil client inconnu « %1 »").arg(v);
        } else if (champ == QLatin1String("tags")) {
            static const QRegularExpression sep(QStringLiteral("[,;|]"));
            for (const QString& tag : v.split(sep, Qt::SkipEmptyParts))
                if (!tag.trimmed().isEmpty() && !c.tags.contains(tag.trimmed()))
                    c.tags << tag.trimmed();
            if (!c.tags.isEmpty())
                remplir("tags");
        } else if (champ == QLatin1String("action")) {
            action = v;
        } else if (champ == QLatin1String("echeanceAction")) {
            if (const auto d = lireDate(v))
                echeance = *d;
            else
                r.avertissements << QStringLiteral("Date illisible « %1 » : prochaine action sans échéance").arg(v);
        } else if (champ.startsWith(QLatin1String("qualif:"))) {
            const QString id = champ.mid(7);
            const auto it = std::find_if(ctx.grille.cbegin(), ctx.grille.cend(), [&](const ItemQualification& q) { return q.id == id; });
            if (it == ctx.grille.cend())
                continue;
            QString valeur = v;
            // A timeline that reads as a date is stored as one; other wording stays as written.
            if (it->champ == QLatin1String("echeance"))
                if (const auto d = lireDate(v))
                    valeur = *d;
            QList<model::JSONValeur> l = c.qualification.value_or(QList<model::JSONValeur>());
            const qsizetype k = indexQualification(c, id);
            const model::JSONValeur e(entreeQualification(*it, valeur, ctx.aujourdhui));
            if (k >= 0)
                l[k] = e;
            else
                l.append(e);
            c.qualification = l;
            r.remplis.insert(champ);
            if (QString* t = champTexte(c, QStringLiteral("champs.") + it->champ)) {
                *t = valeur;
                r.remplis.insert(QStringLiteral("champs.") + it->champ);
                r.lies.insert(QStringLiteral("champs.") + it->champ, champ);
            }
        } else if (QString* t = champTexte(c, champ)) {
            *t = v;
            r.remplis.insert(champ);
        }
    }

    if (!notes.isEmpty())
        lignesNotes.prepend(notes);
    if (!lignesNotes.isEmpty()) {
        c.notes = lignesNotes.join(QLatin1Char('\n'));
        remplir("notes");
    }
    if (issue) {
        const QString n = normaliserEntete(*issue);
        if (n.startsWith(QLatin1String("perdu")) || n.contains(QLatin1String("lost"))) {
            c.etape = QStringLiteral("perdu");
            etapeLue = true;
        } else if (n.startsWith(QLatin1String("gagn")) || n.contains(QLatin1String("won"))) {
            c.etape = QStringLiteral("gagne");
            etapeLue = true;
        }
    }
    const bool gagne = c.etape == QLatin1String("gagne"), perdu = c.etape == QLatin1String("perdu");
    if (etapeLue)
        remplir("etape");
    if (perdu && raison) {
        c.raisonPerte = *raison;
        remplir("raisonPerte");
    }
    if (gagne || perdu) {
        c.issueLe = ctx.aujourdhui;
        c.probabilite = gagne ? 100 : 0;
        remplir("probabilite");
    } else if (proba) {
        c.probabilite = *proba;
        remplir("probabilite");
    } else
        c.probabilite = ctx.probaParEtape.value(c.etape, 10);
    if (action || echeance) {
        c.prochaineAction = model::ProchaineAction{action.value_or(QStringLiteral("Relancer")), echeance.value_or(QString())};
        remplir("action");
        if (echeance)
            remplir("echeanceAction");
    }
    if (c.prenom.isEmpty() && c.nom.isEmpty() && c.societe.isEmpty() && c.email.isEmpty())
        r.erreur = QStringLiteral("Ni nom, ni société, ni email");
    return r;
}

} // namespace vd::crm
