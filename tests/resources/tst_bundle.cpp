// The rest of the compiled-in bundle: the file list, the style sheet's bytes
// and rules, every image it names, the program icons, and what the style
// sheet does to real widgets once applied.

#include <QtTest/QtTest>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QListView>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>

namespace {

const char kStylePath[] = ":/Resources/style.qss";

// Every rule of the style sheet, in file order.
const char *const kSelectors[] = {
    "QWidget#BrelvoClass, QWidget#AboutForm",
    "QWidget#topWidget, QFrame#topFrame",
    "QLabel",
    "QPushButton",
    "QPushButton:hover",
    "QPushButton:disabled",
    "QPushButton#minBtn",
    "QPushButton#minBtn:hover",
    "QPushButton#closeBtn",
    "QPushButton#closeBtn:hover",
    "QComboBox",
    "QComboBox:hover",
    "QComboBox:on",
    "QComboBox:focus",
    "QComboBox::drop-down",
    "QComboBox::drop-down:hover",
    "QListView",
    "QListView::item",
    "QListView::indicator",
    "QListView::indicator:hover",
    "QListView::indicator:checked",
    "QListView::indicator:checked:hover",
    "QListView QScrollBar:vertical",
    "QListView QScrollBar::handle:vertical",
    "QListView QScrollBar::handle:vertical:hover",
    "QListView QScrollBar::add-line:vertical",
    "QListView QScrollBar::sub-line:vertical",
    "QListView QScrollBar::up-arrow:vertical",
    "QListView QScrollBar::up-arrow:vertical:hover",
    "QListView QScrollBar::down-arrow:vertical",
    "QListView QScrollBar::down-arrow:vertical:hover",
    "QListView QScrollBar::add-page:vertical, QListView QScrollBar::sub-page:vertical",
    "QListView[common_comboBox_listWt_style1 = true]",
    "QListView[common_comboBox_listWt_style1 = true]::item",
    "QListView[common_comboBox_listWt_style1 = true]::item:hover",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar:vertical",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::handle:vertical",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::handle:vertical:hover",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::add-line:vertical",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::sub-line:vertical",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::add-page:vertical",
    "QListView[common_comboBox_listWt_style1 = true] QScrollBar::sub-page:vertical",
    "QLineEdit",
    "QLineEdit:hover",
    "QLineEdit:focus",
    "QHeaderView::section",
    "QTableView",
    "QScrollBar:vertical",
    "QScrollBar::handle:vertical",
    "QScrollBar::handle:vertical:hover",
    "QScrollBar::add-page:vertical",
    "QScrollBar::sub-page:vertical",
    "QCheckBox",
    "QCheckBox::indicator",
    "QCheckBox::indicator:hover",
    "QCheckBox::indicator:checked",
    "QCheckBox::indicator::checked:hover",
    "QCheckBox::indicator:indeterminate",
    "QMenu",
    "QMenu::item:selected",
};

// Size of each image the style sheet names, by file name.
const QMap<QString, int> &styleImageSizes()
{
    static const QMap<QString, int> sizes{
        {"minimizei_n.png", 18}, {"minimizei_h.png", 18},
        {"close_n.png", 18}, {"close_h.png", 18},
        {"drop_down_n.png", 12}, {"drop_down_h.png", 12},
        {"arrow_up_n.png", 9}, {"arrow_up_h.png", 9},
        {"arrow_down_n.png", 9}, {"arrow_down_h.png", 9},
        {"checkBox_unchecked_n.png", 15}, {"checkBox_unchecked_h.png", 15},
        {"checkBox_checked_n.png", 15}, {"checkBox_checked_h.png", 15},
        {"checkBox_indeterminate.png", 15},
    };
    return sizes;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

struct Rule {
    QString selector;
    QStringList declarations;
};

QList<Rule> parseRules(const QString &sheet)
{
    QList<Rule> rules;
    const QRegularExpression re(QStringLiteral("([^{}]+)\\{([^{}]*)\\}"));
    auto it = re.globalMatch(sheet);
    while (it.hasNext()) {
        const auto m = it.next();
        Rule r;
        r.selector = m.captured(1).trimmed();
        for (const QString &line : m.captured(2).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString d = line.trimmed();
            if (!d.isEmpty())
                r.declarations << d;
        }
        rules << r;
    }
    return rules;
}

QString styleSheetText()
{
    return QString::fromUtf8(readAll(QString::fromLatin1(kStylePath)));
}

} // namespace

class BundleTest : public QObject
{
    Q_OBJECT

private slots:
    void bundleHoldsExactlyItsFiles();
    void styleSheetIsAsciiWithCrLf();
    void styleSheetHasEveryRuleInOrder();
    void styleSheetDeclarationsAsWritten_data();
    void styleSheetDeclarationsAsWritten();
    void everyImageTheStyleSheetNamesLoads();
    void messageAndSpareImagesLoad_data();
    void messageAndSpareImagesLoad();
    void glyphsHaveTransparentGround_data();
    void glyphsHaveTransparentGround();
    void hoverGlyphsDifferFromNormal_data();
    void hoverGlyphsDifferFromNormal();
    void programIconsLoadAtTheirSizes_data();
    void programIconsLoadAtTheirSizes();
    void styleSheetAndLargeIconAreCompressed();
    void appliedSheetStylesComboPopupApartFromOtherLists();
    void appliedSheetStylesPushButtons();
};

void BundleTest::bundleHoldsExactlyItsFiles()
{
    QStringList expected = styleImageSizes().keys();
    expected << "style.qss" << "English.qm" << QString::fromUtf8(u8"简体中文.qm")
             << "Brelvo 32_32.ico" << "Brelvo 64_64.ico"
             << "ico_information.png" << "ico_question.png" << "ico_warning.png"
             << "ico_error.png" << "folder.png";
    expected.sort();
    QStringList actual = QDir(QStringLiteral(":/Resources")).entryList(QDir::Files);
    actual.sort();
    QCOMPARE(actual, expected);
    // Resource names never carry a locale: a lookup from any locale sees them.
    QVERIFY(QResource(QStringLiteral(":/Resources/style.qss"), QLocale(QLocale::Chinese)).isValid());
}

void BundleTest::styleSheetIsAsciiWithCrLf()
{
    const QByteArray bytes = readAll(QString::fromLatin1(kStylePath));
    QVERIFY(bytes.size() > 1000);
    int lines = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes.at(i));
        QVERIFY2(c < 0x80, qPrintable(QStringLiteral("non-ASCII byte at %1").arg(i)));
        if (c == '\n') {
            QVERIFY2(i > 0 && bytes.at(i - 1) == '\r', qPrintable(QStringLiteral("bare LF at %1").arg(i)));
            ++lines;
        } else if (c == '\r') {
            QVERIFY2(i + 1 < bytes.size() && bytes.at(i + 1) == '\n',
                     qPrintable(QStringLiteral("bare CR at %1").arg(i)));
        }
    }
    QVERIFY(bytes.endsWith("\r\n"));
    QVERIFY(lines > 60);
}

void BundleTest::styleSheetHasEveryRuleInOrder()
{
    const QList<Rule> rules = parseRules(styleSheetText());
    QStringList actual;
    for (const Rule &r : rules)
        actual << r.selector;
    QStringList expected;
    for (const char *s : kSelectors)
        expected << QString::fromLatin1(s);
    QCOMPARE(expected.size(), 60);
    QCOMPARE(actual, expected);
    // Braces balance: a stray one would swallow the rules after it.
    const QString text = styleSheetText();
    QCOMPARE(text.count(QLatin1Char('{')), 60);
    QCOMPARE(text.count(QLatin1Char('}')), 60);
}

// The declarations of a sample of rules, exactly as written (spacing and the
// doubled semicolon included), in their order.
void BundleTest::styleSheetDeclarationsAsWritten_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QStringList>("declarations");
    QTest::newRow("push button") << "QPushButton"
        << QStringList{"font-family:microsoft yahei;", "font-size:13px;", "color:#CCD3DD;",
                       "background-color:#24344C;", "border:1px;", "border-color:#24344C;",
                       "border-radius:2px;", "padding:2px 4px;"};
    QTest::newRow("disabled push button") << "QPushButton:disabled"
        << QStringList{"color:#808b9f;", "background: #141f30;"};
    QTest::newRow("close button hover") << "QPushButton#closeBtn:hover"
        << QStringList{"background: transparent;", "border-image: url(:/Resources/close_h.png);"};
    QTest::newRow("combo box") << "QComboBox"
        << QStringList{"background-color:#0e1622;", "border-radius: 3px;", "border:0px;",
                       "font-family:microsoft yahei;", "font-size:13px;", "color:#6c7586;",
                       "padding-left:10px;", "border: 1px solid #323e58;"};
    QTest::newRow("list up arrow") << "QListView QScrollBar::up-arrow:vertical"
        << QStringList{"border:0px;", "background: #090f1a;", "height: 9px;", "width: 9px;",
                       "image: url(:/Resources/arrow_up_n.png);"};
    QTest::newRow("list down arrow hover") << "QListView QScrollBar::down-arrow:vertical:hover"
        << QStringList{"image: url(:/Resources/arrow_down_h.png);"};
    QTest::newRow("combo popup add-line") << "QListView[common_comboBox_listWt_style1 = true] QScrollBar::add-line:vertical"
        << QStringList{"border: 0px ;", "background-color: #172335;", "height: 0px;",
                       "subcontrol-position: bottom;", "subcontrol-origin: margin;"};
    QTest::newRow("header section") << "QHeaderView::section"
        << QStringList{"color: #ccd3dd;", "padding: 4px;", "border: 0px solid #567dbc;",
                       "border-left:0px;", "border-right:0px;", "background-color: #2c3e50;"};
    QTest::newRow("checked hover check box") << "QCheckBox::indicator::checked:hover"
        << QStringList{"image:url(:/Resources/checkBox_checked_h.png);"};
    QTest::newRow("menu") << "QMenu"
        << QStringList{"color: #ccd3dd;", "background-color: #0b121e;;", "border: 1px solid gray;",
                       "font-family:microsoft yahei;", "font-size:13px;"};
    QTest::newRow("menu item selected") << "QMenu::item:selected"
        << QStringList{"background-color: #2978c7;"};
}

void BundleTest::styleSheetDeclarationsAsWritten()
{
    QFETCH(QString, selector);
    QFETCH(QStringList, declarations);
    const QList<Rule> rules = parseRules(styleSheetText());
    int matches = 0;
    for (const Rule &r : rules) {
        if (r.selector == selector) {
            ++matches;
            QCOMPARE(r.declarations, declarations);
        }
    }
    QCOMPARE(matches, 1);
}

void BundleTest::everyImageTheStyleSheetNamesLoads()
{
    const QString text = styleSheetText();
    const QRegularExpression re(QStringLiteral("url\\(([^)]*)\\)"));
    QSet<QString> named;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QString path = it.next().captured(1).trimmed();
        QVERIFY2(path.startsWith(QLatin1String(":/Resources/")), qPrintable(path));
        const QString name = path.mid(int(qstrlen(":/Resources/")));
        QVERIFY2(styleImageSizes().contains(name), qPrintable("unexpected image " + name));
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable("cannot load " + path));
        const int side = styleImageSizes().value(name);
        QCOMPARE(image.size(), QSize(side, side));
        named.insert(name);
    }
    // Each glyph is used by at least one rule.
    const QStringList all = styleImageSizes().keys();
    QCOMPARE(named, QSet<QString>(all.begin(), all.end()));
}

void BundleTest::messageAndSpareImagesLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("side");
    QTest::newRow("information") << "ico_information.png" << 30;
    QTest::newRow("question") << "ico_question.png" << 30;
    QTest::newRow("warning") << "ico_warning.png" << 30;
    QTest::newRow("error") << "ico_error.png" << 30;
    QTest::newRow("folder") << "folder.png" << 16;
}

void BundleTest::messageAndSpareImagesLoad()
{
    QFETCH(QString, name);
    QFETCH(int, side);
    const QImage image(":/Resources/" + name);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(side, side));
    QVERIFY(image.hasAlphaChannel());
}

// Glyphs sit on title bars and dark fields: their corners must be see-through
// and something must be drawn in the middle.
void BundleTest::glyphsHaveTransparentGround_data()
{
    QTest::addColumn<QString>("name");
    for (const char *n : {"close_n.png", "close_h.png", "minimizei_n.png", "minimizei_h.png",
                             "drop_down_n.png", "drop_down_h.png", "arrow_up_n.png", "arrow_down_h.png",
                             "ico_information.png", "ico_question.png", "ico_warning.png",
                             "ico_error.png", "folder.png"})
        QTest::newRow(n) << QString::fromLatin1(n);
}

void BundleTest::glyphsHaveTransparentGround()
{
    QFETCH(QString, name);
    const QImage image = QImage(":/Resources/" + name).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    const int w = image.width(), h = image.height();
    for (const QPoint &p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        QCOMPARE(qAlpha(image.pixel(p)), 0);
    int opaque = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) > 200)
                ++opaque;
    QVERIFY2(opaque >= 8, "glyph is (nearly) empty");
}

void BundleTest::hoverGlyphsDifferFromNormal_data()
{
    QTest::addColumn<QString>("normal");
    QTest::addColumn<QString>("hover");
    QTest::newRow("close") << "close_n.png" << "close_h.png";
    QTest::newRow("minimise") << "minimizei_n.png" << "minimizei_h.png";
    QTest::newRow("drop down") << "drop_down_n.png" << "drop_down_h.png";
    QTest::newRow("arrow up") << "arrow_up_n.png" << "arrow_up_h.png";
    QTest::newRow("arrow down") << "arrow_down_n.png" << "arrow_down_h.png";
    QTest::newRow("unchecked") << "checkBox_unchecked_n.png" << "checkBox_unchecked_h.png";
    QTest::newRow("checked") << "checkBox_checked_n.png" << "checkBox_checked_h.png";
    QTest::newRow("unchecked vs checked") << "checkBox_unchecked_n.png" << "checkBox_checked_n.png";
    QTest::newRow("up vs down") << "arrow_up_n.png" << "arrow_down_n.png";
}

void BundleTest::hoverGlyphsDifferFromNormal()
{
    QFETCH(QString, normal);
    QFETCH(QString, hover);
    const QImage a = QImage(":/Resources/" + normal).convertToFormat(QImage::Format_ARGB32);
    const QImage b = QImage(":/Resources/" + hover).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!a.isNull() && !b.isNull());
    QCOMPARE(a.size(), b.size());
    QVERIFY(a != b);
}

void BundleTest::programIconsLoadAtTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("side");
    QTest::newRow("32") << ":/Resources/Brelvo 32_32.ico" << 32;
    QTest::newRow("64") << ":/Resources/Brelvo 64_64.ico" << 64;
}

void BundleTest::programIconsLoadAtTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(int, side);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("ico"));
    QCOMPARE(reader.imageCount(), 1);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(side, side));
    QVERIFY(image.hasAlphaChannel());
    // 32 bits per pixel with real alpha: rounded corners transparent, the
    // middle solid.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(qAlpha(argb.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(argb.pixel(side / 2, side / 2)), 255);
    QVERIFY(!QIcon(path).isNull());
    QVERIFY(QIcon(path).availableSizes().contains(QSize(side, side)));
}

void BundleTest::styleSheetAndLargeIconAreCompressed()
{
    QCOMPARE(QResource(QString::fromLatin1(kStylePath)).compressionAlgorithm(),
             QResource::ZlibCompression);
    QCOMPARE(QResource(QStringLiteral(":/Resources/Brelvo 64_64.ico")).compressionAlgorithm(),
             QResource::ZlibCompression);
    QCOMPARE(QResource(QStringLiteral(":/Resources/Brelvo 32_32.ico")).compressionAlgorithm(),
             QResource::NoCompression);
    QCOMPARE(QResource(QStringLiteral(":/Resources/English.qm")).compressionAlgorithm(),
             QResource::NoCompression);
    // Compressed or not, reading through QFile gives the original bytes.
    QVERIFY(readAll(QString::fromLatin1(kStylePath)).startsWith("QWidget#BrelvoClass"));
}

// The popup list of the styled combo box carries a dynamic property that
// gives it its own look; any other list view keeps the plain one.
void BundleTest::appliedSheetStylesComboPopupApartFromOtherLists()
{
    qApp->setStyleSheet(styleSheetText());
    QListView plain;
    QListView popup;
    popup.setProperty("common_comboBox_listWt_style1", true);
    plain.ensurePolished();
    popup.ensurePolished();
    QCOMPARE(plain.palette().color(QPalette::Base), QColor("#0b121e"));
    QCOMPARE(plain.palette().color(QPalette::Text), QColor("#6c7586"));
    QCOMPARE(popup.palette().color(QPalette::Base), QColor("#172335"));
    QCOMPARE(popup.palette().color(QPalette::Text), QColor("#858fa2"));
    qApp->setStyleSheet(QString());
}

void BundleTest::appliedSheetStylesPushButtons()
{
    qApp->setStyleSheet(styleSheetText());
    QPushButton enabled(QStringLiteral("Start"));
    QPushButton disabled(QStringLiteral("Stop"));
    disabled.setEnabled(false);
    enabled.ensurePolished();
    disabled.ensurePolished();
    QCOMPARE(enabled.palette().color(QPalette::Active, QPalette::ButtonText), QColor("#ccd3dd"));
    QCOMPARE(disabled.palette().color(QPalette::Disabled, QPalette::ButtonText), QColor("#808b9f"));
    qApp->setStyleSheet(QString());
}

QTEST_MAIN(BundleTest)
#include "tst_bundle.moc"
