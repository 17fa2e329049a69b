#pragma once
// The palette, the style sheet and small builders shared by every screen.
#include <QColor>
#include <QIcon>
#include <QString>

class QApplication;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;
class QBoxLayout;

namespace vd::ui::style {

namespace couleur {
inline const QColor fond{0xFF, 0xFF, 0xFF};
inline const QColor fondGris{0xF7, 0xF7, 0xF5};
inline const QColor texte{0x1C, 0x1D, 0x21};
inline const QColor texteSecondaire{0x5F, 0x62, 0x70};
inline const QColor filet{0xE6, 0xE6, 0xE1};
inline const QColor accent{0x00, 0x44, 0xFF};
inline const QColor succes{0x0E, 0x9F, 0x6E};
inline const QColor alerte{0xB7, 0x6E, 0x00};
inline const QColor danger{0xD9, 0x3F, 0x3F};
} // namespace couleur

// Font (Inter, else DejaVu Sans) and the style sheet of resources/style/.
void appliquer(QApplication& app);
// An outline icon of resources/icones/, drawn in the given colour.
QIcon icone(const QString& nom, const QColor& c = couleur::texteSecondaire, int taille = 20);

QLabel* etiquette(const QString& texte, const QString& role = {}, QWidget* parent = nullptr);
QPushButton* bouton(const QString& texte, const QString& role = {}, QWidget* parent = nullptr);
QFrame* carte(const QString& role = QStringLiteral("carte"), QWidget* parent = nullptr);
QFrame* filet(QWidget* parent = nullptr);
// Removes and deletes every item of a layout (nested layouts too).
void vider(QBoxLayout* l);

// "3 min 20", "45 s"
QString duree(double secondes);
// Short date in French ("5 mars, 14:20"; the year added when not the current one).
QString dateCourte(const QString& horodatage, bool avecHeure = true);

} // namespace vd::ui::style

#include <QFrame>
namespace vd::ui::style {
// A card-like row that reacts to a click.
class LigneCliquable : public QFrame {
    Q_OBJECT
public:
    explicit LigneCliquable(QWidget* parent = nullptr);
Q_SIGNALS:
    void clique();
protected:
    void mouseReleaseEvent(class QMouseEvent* e) override;
};
} // namespace vd::ui::style
