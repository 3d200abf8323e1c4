// Checks the panel file KorvaTBScope11Xe.ui (the copy beside the test program, as the program
// finds it) against the identifiers of KorvaTBScope11Xe.h: every control is present once, on its
// panel, with its identifier, widget class, callback and accessibility texts, and every ring lists
// its items in ascending order of their values.
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

#include "KorvaTBScope11Xe.h"

namespace korva {
namespace {

struct ExpectedControl {
    const char* name;
    int id;
    const char* className;
    const char* callback;  // "" for a control without callback
};

// CONTROL(PANEL_BTNSTOP, ...) gives both the name and the identifier's value from the header.
#define CONTROL(name, className, callback) ExpectedControl{#name, name, className, callback}

constexpr ExpectedControl kControls[] = {
    CONTROL(PANEL_DROPDCOM, "QComboBox", "CC_DropDCom"),
    CONTROL(PANEL_BTNGET, "QPushButton", "CC_BTNGet"),
    CONTROL(PANEL_RINGPOWERMODE, "QComboBox", "CC_RingPowerMode"),
    CONTROL(PANEL_BTNSTOP, "QPushButton", "CC_BTNStop"),
    CONTROL(PANEL_BTNSEND, "QPushButton", "CC_BTNSend"),
    CONTROL(PANEL_BUTTONTEACH, "QPushButton", "CC_ButtonTeach"),
    CONTROL(PANEL_BTNCCDSETTINGS, "QPushButton", "CC_BTN_CCDSettings"),
    CONTROL(PANEL_SLIDEREFERENCE, "QSlider", "CC_Slide_Reference"),
    CONTROL(PANEL_RBTFILE, "QRadioButton", "CC_RBTFile"),
    CONTROL(PANEL_RBTEEPROM, "QRadioButton", "CC_RBTEeprom"),
    CONTROL(PANEL_RBTRAM, "QRadioButton", "CC_RBTRam"),
    CONTROL(PANEL_RINGPOLARITY, "QComboBox", "CC_RingPolarity"),
    CONTROL(PANEL_BTNDATA, "QPushButton", "CC_BTNData"),
    CONTROL(PANEL_SLIDETOLERANCE, "QSlider", "CC_Slide_Tolerance"),
    CONTROL(PANEL_BTNRUN, "QPushButton", "CC_BTNRun"),
    CONTROL(PANEL_DROPDEVALMODE, "QComboBox", "CC_DropDEvalmode"),
    CONTROL(PANEL_NEDITTOLLEFF, "QSpinBox", "CC_NEDITTolLeff"),
    CONTROL(PANEL_NUMVALUE, "QSpinBox", ""),
    CONTROL(PANEL_NUMTEACH, "QSpinBox", ""),
    CONTROL(PANEL_NUMTOLERANCE, "QSpinBox", ""),
    CONTROL(PANEL_NUMEDGE1, "QSpinBox", ""),
    CONTROL(PANEL_NUMEDGE2, "QSpinBox", ""),
    CONTROL(PANEL_NEDITVIDEOTHRESHOLD, "QSpinBox", "CC_NEDITVideoThreshold"),
    CONTROL(PANEL_NEDITEDGERIGHT, "QSpinBox", "CC_NEDITEdgeRight"),
    CONTROL(PANEL_NEDITEDGELEFT, "QSpinBox", "CC_NEDITEdgeLeft"),
    CONTROL(PANEL_STATUS, "QLabel", ""),
    CONTROL(PANEL_GRAPHDATA, "QCustomPlot", "CC_GraphData"),
    CONTROL(PANEL_GRAPHRAW, "QCustomPlot", ""),
    CONTROL(PANEL_SLIDEPOWER, "KorvaNumSlide", "CC_Slide_Power"),
    CONTROL(PANEL_LEDINPUT1, "KorvaLamp", ""),
    CONTROL(PANEL_LEDINPUT2, "KorvaLamp", ""),
    CONTROL(PANEL_BTNRECORD, "QPushButton", "CC_BTNRecord"),
    CONTROL(PANEL_STATS, "KorvaTextLine", ""),
    CONTROL(PANEL_GRAPHTREND, "QCustomPlot", ""),
    CONTROL(PANEL_BTNFIND, "QPushButton", "CC_BTNFind"),
    CONTROL(POPUP_NSLIDEPIXELSTART, "KorvaNumSlide", "CC_NSLIDE_PixelStart"),
    CONTROL(POPUP_NUMPIXELEND, "QSpinBox", ""),
    CONTROL(POPUP_BTNTEACHBACKGROUND, "QPushButton", "CC_BTNTeachBackGround"),
    CONTROL(POPUP_BACKGROUNDVALUE, "QSpinBox", ""),
    CONTROL(POPUP_LEDTEACHBACKGROUND, "KorvaLamp", ""),
    CONTROL(POPUP_BINSWENABLETOL, "QCheckBox", "CC_BIN_Sw_EnableTol"),
    CONTROL(POPUP_BINSWITCHVGAIN, "QCheckBox", "CC_BIN_Switch_VGain"),
    CONTROL(POPUP_RINGCCDBGMODE, "QComboBox", "CC_RING_CCDBGMode"),
    CONTROL(POPUP_RINGCCDMODE, "QComboBox", "CC_RING_CCDMode"),
    CONTROL(POPUP_NEDITTOLERANCE, "QSpinBox", "CC_NEDITTolerance"),
    CONTROL(POPUP_NEDITTEACH, "QSpinBox", "CC_NEDITTeach"),
};
#undef CONTROL

// The command buttons locked during a run are also known by a second name; the panel file names
// the button and lists the second name after the first in its accessible description.
struct ButtonAlias {
    const char* name;
    int id;
    const char* button;
};
#define ALIAS(name, button) ButtonAlias{#name, name, #button}
constexpr ButtonAlias kAliases[] = {
    ALIAS(PANEL_CMD3, PANEL_BTNGET),
    ALIAS(PANEL_CMD14, PANEL_BTNDATA),
    ALIAS(PANEL_CMD16, PANEL_BTNRUN),
};
#undef ALIAS

const char* aliasOf(const QString& button) {
    for (const ButtonAlias& alias : kAliases) {
        if (button == QLatin1String(alias.button)) return alias.name;
    }
    return nullptr;
}

int panelOfName(const QString& name) {
    return name.startsWith(QLatin1String("POPUP_")) ? POPUP : PANEL;
}

// One <widget> element of the panel file.
struct UiWidget {
    QString className;
    QString name;
    QHash<QString, QString> properties;  // property name -> text of its value
    QStringList items;                   // item texts of a combo box
    int parent = -1;                     // index of the enclosing widget, -1 for the root
};

// A ring's items carry their index as value unless itemValues lists one value per item.
QList<int> ringValues(const UiWidget& ring) {
    QList<int> values;
    const QString listed = ring.properties.value(QStringLiteral("itemValues"));
    if (!listed.isEmpty()) {
        for (const QString& v : listed.split(QLatin1Char(','))) values << v.trimmed().toInt();
        return values;
    }
    for (qsizetype i = 0; i < ring.items.size(); ++i) values << int(i);
    return values;
}

// The widgets of a Designer file in document order, with the panel each one lies on.
class UiFile {
public:
    bool load(const QString& path, QString* error) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.errorString();
            return false;
        }
        QXmlStreamReader reader(&file);
        if (reader.readNextStartElement() && reader.name() == QLatin1String("ui")) {
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("widget")) readWidget(reader, -1);
                else reader.skipCurrentElement();
            }
        }
        *error = reader.hasError() ? reader.errorString() : QString();
        return !reader.hasError() && !widgets_.isEmpty();
    }

    const QList<UiWidget>& widgets() const { return widgets_; }

    QList<const UiWidget*> named(const QString& name) const {
        QList<const UiWidget*> found;
        for (const UiWidget& w : widgets_) {
            if (w.name == name) found << &w;
        }
        return found;
    }

    // The panelId of the nearest panel enclosing the widget (or of the widget itself).
    int panelOf(const UiWidget& widget) const {
        for (const UiWidget* w = &widget; w; w = w->parent < 0 ? nullptr : &widgets_[w->parent]) {
            if (w->properties.contains(QStringLiteral("panelId"))) {
                return w->properties.value(QStringLiteral("panelId")).toInt();
            }
        }
        return 0;
    }

    const UiWidget* parentOf(const UiWidget& widget) const {
        return widget.parent < 0 ? nullptr : &widgets_[widget.parent];
    }

private:
    // Text of the current element; the texts of nested elements are joined by commas.
    static QString elementText(QXmlStreamReader& reader) {
        QString text;
        QStringList parts;
        while (reader.readNext() != QXmlStreamReader::Invalid && !reader.isEndElement()) {
            if (reader.isCharacters()) text += reader.text();
            else if (reader.isStartElement()) parts << elementText(reader);
        }
        return parts.isEmpty() ? text : parts.join(QLatin1Char(','));
    }

    void readWidget(QXmlStreamReader& reader, int parent) {
        const qsizetype index = widgets_.size();
        widgets_.append({reader.attributes().value(QLatin1String("class")).toString(),
                         reader.attributes().value(QLatin1String("name")).toString(),
                         {}, {}, parent});
        while (reader.readNextStartElement()) {
            const auto tag = reader.name();
            if (tag == QLatin1String("property")) {
                const QString name = reader.attributes().value(QLatin1String("name")).toString();
                widgets_[index].properties.insert(name, elementText(reader));
            } else if (tag == QLatin1String("item")) {
                widgets_[index].items << elementText(reader);
            } else if (tag == QLatin1String("widget")) {
                readWidget(reader, int(index));
            } else if (tag == QLatin1String("layout")) {
                readLayout(reader, int(index));
            } else {
                reader.skipCurrentElement();
            }
        }
    }

    // Layouts nest <item> elements that hold widgets, layouts or spacers.
    void readLayout(QXmlStreamReader& reader, int parent) {
        while (reader.readNextStartElement()) {
            const auto tag = reader.name();
            if (tag == QLatin1String("item")) readLayout(reader, parent);
            else if (tag == QLatin1String("widget")) readWidget(reader, parent);
            else if (tag == QLatin1String("layout")) readLayout(reader, parent);
            else reader.skipCurrentElement();
        }
    }

    QList<UiWidget> widgets_;
};

}  // namespace

class TestPanelFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QString error;
        const QString path = QCoreApplication::applicationDirPath() + "/KorvaTBScope11Xe.ui";
        QVERIFY2(ui_.load(path, &error), qPrintable(path + ": " + error));
    }

    // Every identifier of the header is checked here: controls, their second names and panels.
    void headerIdentifiersAreAllChecked() {
        QFile header(QStringLiteral(KORVA_RESOURCES_DIR "/KorvaTBScope11Xe.h"));
        QVERIFY(header.open(QIODevice::ReadOnly | QIODevice::Text));
        QSet<QString> inHeader;
        static const QRegularExpression constant(QStringLiteral(R"(constexpr\s+int\s+(\w+)\s*=)"));
        for (const auto& match : constant.globalMatch(QString::fromUtf8(header.readAll()))) {
            inHeader << match.captured(1);
        }
        QSet<QString> checked{QStringLiteral("PANEL"), QStringLiteral("POPUP")};
        for (const ExpectedControl& c : kControls) checked << c.name;
        for (const ButtonAlias& a : kAliases) checked << a.name;
        QCOMPARE(inHeader, checked);
    }

    void panels() {
        const auto roots = ui_.named(QStringLiteral("PANEL"));
        QCOMPARE(roots.size(), 1);
        QVERIFY(!ui_.parentOf(*roots.front()));
        QCOMPARE(roots.front()->properties.value(QStringLiteral("panelId")).toInt(), PANEL);
        QCOMPARE(roots.front()->properties.value(QStringLiteral("callback")), QStringLiteral("CC_PANEL"));

        const auto popups = ui_.named(QStringLiteral("POPUP"));
        QCOMPARE(popups.size(), 1);
        QCOMPARE(popups.front()->properties.value(QStringLiteral("panelId")).toInt(), POPUP);
        const UiWidget* parent = ui_.parentOf(*popups.front());
        QVERIFY2(parent && ui_.panelOf(*parent) == PANEL, "the CCD settings lie inside the main panel");
    }

    void control_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("callback");
        for (const ExpectedControl& c : kControls) {
            QTest::newRow(c.name) << QString::fromLatin1(c.name) << c.id << QString::fromLatin1(c.className)
                                  << QString::fromLatin1(c.callback);
        }
    }

    // One widget per identifier, on its panel, with identifier, class, callback and the
    // accessible name and description that assistive tools and UI tests rely on.
    void control() {
        QFETCH(QString, name);
        QFETCH(int, id);
        QFETCH(QString, className);
        QFETCH(QString, callback);
        const auto found = ui_.named(name);
        QCOMPARE(found.size(), 1);
        const UiWidget& w = *found.front();
        QCOMPARE(w.className, className);
        QCOMPARE(w.properties.value(QStringLiteral("ctrlId")), QString::number(id));
        QCOMPARE(ui_.panelOf(w), panelOfName(name));
        QCOMPARE(w.properties.contains(QStringLiteral("callback")), !callback.isEmpty());
        QCOMPARE(w.properties.value(QStringLiteral("callback")), callback);
        QVERIFY2(!w.properties.value(QStringLiteral("accessibleName")).trimmed().isEmpty(), "accessible name");
        const char* alias = aliasOf(name);
        QCOMPARE(w.properties.value(QStringLiteral("accessibleDescription")),
                 alias ? name + QLatin1Char(' ') + QLatin1String(alias) : name);
    }

    void buttonAliasesShareTheButtonsIdentifier() {
        for (const ButtonAlias& alias : kAliases) {
            const auto found = ui_.named(QLatin1String(alias.button));
            QCOMPARE(found.size(), 1);
            QCOMPARE(found.front()->properties.value(QStringLiteral("ctrlId")), QString::number(alias.id));
            QVERIFY(ui_.named(QLatin1String(alias.name)).isEmpty());
        }
    }

    // No control the program does not know, and no identifier twice on one panel.
    void controlsAreKnownAndDistinct() {
        QSet<QString> known;
        for (const ExpectedControl& c : kControls) known << c.name;
        QSet<QPair<int, int>> ids;
        for (const UiWidget& w : ui_.widgets()) {
            if (!w.properties.contains(QStringLiteral("ctrlId"))) continue;
            QVERIFY2(known.contains(w.name), qPrintable(w.name + " is not a known control"));
            const QPair<int, int> key(ui_.panelOf(w), w.properties.value(QStringLiteral("ctrlId")).toInt());
            QVERIFY2(!ids.contains(key), qPrintable(w.name + " repeats an identifier of its panel"));
            ids << key;
        }
    }

    void objectNamesAreUnique() {
        QSet<QString> names;
        for (const UiWidget& w : ui_.widgets()) {
            QVERIFY2(!w.name.isEmpty(), qPrintable("unnamed " + w.className));
            QVERIFY2(!names.contains(w.name), qPrintable(w.name + " is used twice"));
            names << w.name;
        }
    }

    void ringItemsAscend() {
        for (const UiWidget& w : ui_.widgets()) {
            if (w.className != QLatin1String("QComboBox")) continue;
            QVERIFY2(!w.items.isEmpty(), qPrintable(w.name));
            const QList<int> values = ringValues(w);
            QCOMPARE(values.size(), w.items.size());
            for (qsizetype i = 1; i < values.size(); ++i) {
                QVERIFY2(values[i - 1] < values[i], qPrintable(w.name + ": " + w.items[i]));
            }
            const int current = w.properties.value(QStringLiteral("currentIndex"), QStringLiteral("0")).toInt();
            QVERIFY2(current >= 0 && current < w.items.size(), qPrintable(w.name));
        }
    }

    void statusLineIsNamedByItsText() {
        const auto found = ui_.named(QStringLiteral("PANEL_STATUS"));
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.front()->properties.value(QStringLiteral("text")), QStringLiteral("InitVars"));
        QCOMPARE(found.front()->properties.value(QStringLiteral("accessibleName")), QStringLiteral("InitVars"));
    }

private:
    UiFile ui_;
};

}  // namespace korva

QTEST_GUILESS_MAIN(korva::TestPanelFile)
#include "test_panelfile.moc"
