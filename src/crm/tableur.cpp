#include "tableur.h"

#include "xlsx.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <array>

namespace vd::crm {

namespace {

ErreurTableur message(const char* texte)
{
    return ErreurTableur::illisible(QString::fromUtf8(texte));
}

const char* const msgXls =
    "Ce fichier est au format Excel 97-2004 (.xls). Dans Excel, choisissez Fichier, Enregistrer sous, Classeur Excel (.xlsx), ou CSV.";
const char* const msgMotDePasse =
    "Ce fichier est protégé par un mot de passe. Enregistrez-le sans mot de passe, puis réessayez.";
const char* const msgIlisible = "Ce fichier n'est pas un texte lisible. Enregistrez-le en CSV (UTF-8) depuis votre tableur.";

bool commencePar(const QByteArray& d, std::initializer_list<quint8> octets)
{
    if (d.size() < qsizetype(octets.size()))
        return false;
    qsizetype i = 0;
    for (quint8 o : octets)
        if (quint8(d[i++]) != o)
            return false;
    return true;
}

bool estZip(const QByteArray& d) { return commencePar(d, {'P', 'K', 3, 4}); }
bool estDocumentCompose(const QByteArray& d) { return commencePar(d, {0xD0, 0xCF, 0x11, 0xE0}); }

// A compound file that holds an encrypted OOXML package (a workbook saved with a password).
bool estPaquetChiffre(const QByteArray& d)
{
    auto utf16 = [](const char* s) {
        QByteArray b;
        for (; *s; ++s)
            b.append(*s).append('\0');
        return b;
    };
    return d.contains(utf16("EncryptionInfo")) && d.contains(utf16("EncryptedPackage"));
}

std::optional<QString> decoder(QStringConverter::Encoding enc, QByteArrayView octets)
{
    QStringDecoder dec(enc, QStringConverter::Flag::Stateless);
    QString t = dec.decode(octets);
    if (dec.hasError() || t.contains(QChar(0)))
        return std::nullopt;
    return t;
}

// Windows-1252: the C1 range holds letters and signs; five codes stay undefined.
std::optional<QString> decoderWindows1252(QByteArrayView octets)
{
    static constexpr std::array<char16_t, 32> c1 = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QString t(octets.size(), Qt::Uninitialized);
    QChar* o = t.data();
    for (char c : octets) {
        const quint8 b = quint8(c);
        if (b == 0)
            return std::nullopt;
        char16_t u = b;
        if (b >= 0x80 && b < 0xA0) {
            u = c1[b - 0x80];
            if (u == 0)
                return std::nullopt;
        }
        *o++ = QChar(u);
    }
    return t;
}

std::optional<QString> decoderLatin1(QByteArrayView octets)
{
    if (octets.contains('\0'))
        return std::nullopt;
    return QString::fromLatin1(octets);
}

Resultat<ClasseurImport, ErreurTableur> lireTexte(const QByteArray& donnees)
{
    if (donnees.size() > tailleMaxFichier)
        return echec(message("Ce fichier dépasse 50 Mo. Découpez-le en plusieurs fichiers."));
    auto decode = decoderTexte(donnees);
    if (!decode)
        return echec(decode.erreur());
    const QString& texte = decode.valeur().texte;
    qsizetype debut = 0;
    const QChar sep = detecterSeparateur(texte, &debut);
    FeuilleTableur f;
    f.nom = QStringLiteral("CSV");
    f.lignes = lireCsv(QStringView(texte).mid(debut), sep, lignesMaxGardees, &f.lignesNonGardees);
    ClasseurImport c;
    c.format = decode.valeur().format;
    c.separateur = QString(sep);
    c.description = QStringLiteral("CSV · séparateur ") + nomSeparateur(sep);
    c.feuilles.append(std::move(f));
    return c;
}

} // namespace

Resultat<TexteDecode, ErreurTableur> decoderTexte(const QByteArray& d)
{
    if (d.isEmpty())
        return echec(message("Ce fichier est vide."));
    std::optional<QString> t;
    QString format;
    if (commencePar(d, {0xEF, 0xBB, 0xBF})) {
        t = decoder(QStringConverter::Utf8, QByteArrayView(d).sliced(3));
        format = QStringLiteral("UTF-8");
    } else if (commencePar(d, {0xFF, 0xFE})) {
        t = decoder(QStringConverter::Utf16LE, QByteArrayView(d).sliced(2));
        format = QStringLiteral("UTF-16");
    } else if (commencePar(d, {0xFE, 0xFF})) {
        t = decoder(QStringConverter::Utf16BE, QByteArrayView(d).sliced(2));
        format = QStringLiteral("UTF-16");
    } else {
        const qsizetype n = std::min<qsizetype>(400, d.size());
        if (n >= 4) {
            int z0 = 0, z1 = 0;
            for (qsizetype i = 0; i < n; ++i)
                if (d[i] == 0)
                    (i % 2 == 0 ? z0 : z1)++;
            const int seuil = int(n / 2) * 6 / 10;
            std::optional<QStringConverter::Encoding> enc;
            if (z1 > seuil && z0 == 0)
                enc = QStringConverter::Utf16LE;
            else if (z0 > seuil && z1 == 0)
                enc = QStringConverter::Utf16BE;
            if (enc && (t = decoder(*enc, d)))
                format = QStringLiteral("UTF-16");
        }
        if (!t && (t = decoder(QStringConverter::Utf8, d)))
            format = QStringLiteral("UTF-8");
        if (!t && (t = decoderWindows1252(d)))
            format = QStringLiteral("Windows-1252");
        if (!t && (t = decoderLatin1(d)))
            format = QStringLiteral("ISO Latin 1");
    }
    if (!t)
        return echec(message(msgIlisible));
    if (t->isEmpty())
        return echec(message("Ce fichier est vide."));
    return TexteDecode{std::move(*t), format};
}

QChar detecterSeparateur(QStringView texte, qsizetype* debut)
{
    if (debut)
        *debut = 0;
    if (texte.size() >= 4 && texte.left(4).compare(u"sep=", Qt::CaseInsensitive) == 0) {
        qsizetype p = 4;
        std::optional<QChar> impose;
        if (p < texte.size() && texte[p] != u'\r' && texte[p] != u'\n')
            impose = texte[p++];
        // The rest of that first line, with its CR, LF or CRLF.
        while (p < texte.size() && texte[p] != u'\r' && texte[p] != u'\n')
            ++p;
        if (p < texte.size() && texte[p] == u'\r')
            ++p;
        if (p < texte.size() && texte[p] == u'\n')
            ++p;
        if (debut)
            *debut = p;
        if (impose)
            return *impose;
        texte = texte.mid(p);
    }

    static constexpr std::array<char16_t, 4> candidats = {u';', u',', u'\t', u'|'};
    QList<std::array<int, 4>> parLigne;
    std::array<int, 4> courant{};
    bool guillemets = false, contenu = false;
    for (qsizetype i = 0; i < texte.size() && parLigne.size() < 30; ++i) {
        const QChar c = texte[i];
        if (c == u'"') {
            guillemets = !guillemets;
            contenu = true;
        } else if (!guillemets && (c == u'\r' || c == u'\n')) {
            if (c == u'\r' && i + 1 < texte.size() && texte[i + 1] == u'\n')
                ++i;
            parLigne.append(courant);
            courant = {};
            contenu = false;
        } else {
            contenu = true;
            if (!guillemets)
                for (size_t k = 0; k < candidats.size(); ++k)
                    if (c == QChar(candidats[k]))
                        ++courant[k];
        }
    }
    if (contenu && parLigne.size() < 30)
        parLigne.append(courant);
    const qsizetype lignes = parLigne.size();

    QChar meilleur = u',';
    double meilleurScore = -1;
    for (size_t k = 0; k < candidats.size(); ++k) {
        QHash<int, int> frequences;
        for (const auto& l : parLigne)
            if (l[k] > 0)
                ++frequences[l[k]];
        if (frequences.isEmpty())
            continue;
        int c = 0, f = 0;
        for (auto it = frequences.cbegin(); it != frequences.cend(); ++it)
            if (it.value() > f || (it.value() == f && it.key() > c)) {
                c = it.key();
                f = it.value();
            }
        const double score = std::min(c, 50) * 0.5 + double(f) / double(lignes) * 100.0;
        if (meilleurScore < 0 || score > meilleurScore + 0.0001) {
            meilleurScore = score;
            meilleur = QChar(candidats[k]);
        }
    }
    return meilleur;
}

QString nomSeparateur(QChar sep)
{
    return sep == u'\t' ? QStringLiteral("tabulation") : QString(sep);
}

QList<QStringList> lireCsv(QStringView texte, QChar sep, int maxLignes, int* nonGardees)
{
    QList<QStringList> lignes;
    QStringList ligne;
    QString champ;
    bool guillemets = false, debutChamp = true, ligneCommencee = false;
    int restantes = 0;
    const qsizetype n = texte.size();
    auto finirChamp = [&] {
        // Our export protects formula-like texts with a leading apostrophe; it goes away here.
        if (champ.size() >= 2 && champ[0] == u'\'' &&
            (champ[1] == u'=' || champ[1] == u'+' || champ[1] == u'-' || champ[1] == u'@' || champ[1] == u'\t' || champ[1] == u'\r'))
            champ.remove(0, 1);
        ligne.append(champ);
        champ.clear();
        debutChamp = true;
    };
    auto finirLigne = [&] {
        finirChamp();
        if (lignes.size() < maxLignes)
            lignes.append(std::move(ligne));
        else {
            bool vide = true;
            for (const QString& c : ligne)
                if (!c.trimmed().isEmpty())
                    vide = false;
            if (!vide)
                ++restantes;
        }
        ligne = QStringList();
        ligneCommencee = false;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = texte[i];
        if (guillemets) {
            if (c == u'"') {
                if (i + 1 < n && texte[i + 1] == u'"') {
                    champ.append(u'"');
                    ++i;
                } else
                    guillemets = false;
            } else
                champ.append(c);
            continue;
        }
        if (c == u'"' && debutChamp) {
            guillemets = true;
            debutChamp = false;
            ligneCommencee = true;
        } else if (c == sep) {
            finirChamp();
            ligneCommencee = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && texte[i + 1] == u'\n')
                ++i;
            finirLigne();
        } else {
            champ.append(c);
            debutChamp = false;
            ligneCommencee = true;
        }
    }
    if (ligneCommencee || guillemets)
        finirLigne();
    if (nonGardees)
        *nonGardees = restantes;
    return lignes;
}

static std::optional<ErreurTableur> refusExtension(const QString& extension)
{
    if (extension == QLatin1String("xls"))
        return message(msgXls);
    if (extension == QLatin1String("numbers"))
        return message("Ce fichier vient de Numbers. Dans Numbers, choisissez Fichier, Exporter vers, Excel ou CSV.");
    static const QStringList admises = {QStringLiteral("csv"), QStringLiteral("tsv"), QStringLiteral("txt"),
                                        QStringLiteral("xlsx"), QStringLiteral("xlsm")};
    if (!admises.contains(extension))
        return message("Ce type de fichier ne s'importe pas. Choisissez un fichier CSV ou Excel (.xlsx).");
    return std::nullopt;
}

Resultat<ClasseurImport, ErreurTableur> lireDonnees(const QByteArray& donnees, const QString& extension)
{
    if (auto refus = refusExtension(extension))
        return echec(*refus);
    if (estZip(donnees)) {
        if (donnees.size() > tailleMaxFichier)
            return echec(message("Ce fichier dépasse 50 Mo. Gardez seulement l'onglet des contacts, ou exportez-le en CSV."));
        return lireClasseurXlsx(donnees);
    }
    if (estDocumentCompose(donnees))
        return echec(message(estPaquetChiffre(donnees) ? msgMotDePasse : msgXls));
    return lireTexte(donnees);
}

Resultat<ClasseurImport, ErreurTableur> lireFichier(const QString& chemin)
{
    const QFileInfo info(chemin);
    const QString ext = info.suffix().toLower();
    if (auto refus = refusExtension(ext))
        return echec(*refus);
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return echec(message("Impossible de lire ce fichier. Vérifiez qu'il n'est pas ouvert ailleurs, puis réessayez."));
    // The size is known before the file is read whole.
    if (f.size() > tailleMaxFichier) {
        const QByteArray tete = f.read(4);
        return echec(message(estZip(tete) ? "Ce fichier dépasse 50 Mo. Gardez seulement l'onglet des contacts, ou exportez-le en CSV."
                                          : "Ce fichier dépasse 50 Mo. Découpez-le en plusieurs fichiers."));
    }
    const QByteArray donnees = f.readAll();
    if (f.error() != QFile::NoError)
        return echec(message("Impossible de lire ce fichier. Vérifiez qu'il n'est pas ouvert ailleurs, puis réessayez."));
    return lireDonnees(donnees, ext);
}

Resultat<FeuilleTableur, ErreurTableur> lireFeuille(const ClasseurImport& classeur, int index)
{
    if (index < 0 || index >= classeur.feuilles.size())
        return echec(message("Cette feuille n'existe pas dans le classeur."));
    if (!classeur.source)
        return classeur.feuilles[index];
    return lireFeuilleXlsx(*classeur.source, classeur.feuilles[index], index);
}

} // namespace vd::crm
