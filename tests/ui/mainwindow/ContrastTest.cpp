// Every text of the main window, with the advanced pane and the settings
// sheet open, reads on what it is drawn on: under a light and a dark desktop
// palette as the platform gives them ("Auto") and under the application's own
// Light and Dark. The text's colour, over the background measured in the
// rendered window, reaches 4.5:1, or 3:1 for text in the secondary style.

#include "ComposedMainWindow.h"
#include "DesktopPalette.h"
#include "DriveMainWindow.h"
#include "TempDir.h"

#include "model/MonitorViewModel.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace tess {
namespace {

// One text as drawn: its colour (maybe translucent) over the background
// under it.
struct TextSample {
    QString what;
    QColor text;
    QColor background;
    bool secondary = false;

    double ratio() const { return theme::contrastRatio(theme::composite(text, background), background); }
    double required() const { return secondary ? 3.0 : 4.5; }
};

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) <= 12;
}

// The colour most pixels of `image` have, leaving out those of the text's
// own colour (its glyphs, and symbols tinted like it): the background of a
// text.
QColor backgroundColor(const QImage& image, const QColor& text)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y) | 0xFF000000U;
            if (!near(pixel, text.rgb())) {
                counts[pixel] += 1;
            }
        }
    }
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return QColor::fromRgb(best);
}

// What a widget draws as text, with the role it draws it in and the part of
// it that holds the text; nothing for widgets without text.
struct DrawnText {
    QString text;
    QPalette::ColorRole role = QPalette::WindowText;
    QRect area;
};

// Inside a control's frame, whose many pixels of one colour would outnumber
// each shade of a bevelled face.
QRect faceOf(const QWidget& control)
{
    return control.rect().adjusted(3, 3, -3, -3);
}

std::optional<DrawnText> drawnText(QWidget& widget)
{
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        if (label->text().trimmed().isEmpty()) {
            return std::nullopt;
        }
        return DrawnText {label->text(), label->foregroundRole(), label->contentsRect()};
    }
    if (qobject_cast<QCheckBox*>(&widget) != nullptr || qobject_cast<QRadioButton*>(&widget) != nullptr) {
        auto& box = static_cast<QAbstractButton&>(widget);
        if (box.text().isEmpty()) {
            return std::nullopt;
        }
        QStyleOptionButton option;
        option.initFrom(&box);
        option.text = box.text();
        const QRect contents = box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box);
        return DrawnText {box.text(), QPalette::WindowText, contents.isValid() ? contents : box.rect()};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        auto* tool = qobject_cast<QToolButton*>(button);
        const bool iconOnly = tool != nullptr && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull();
        if (button->text().isEmpty() || iconOnly) {
            return std::nullopt;
        }
        return DrawnText {button->text(), QPalette::ButtonText, faceOf(*button)};
    }
    if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
        if (combo->isEditable() || combo->currentText().isEmpty()) {
            return std::nullopt;
        }
        return DrawnText {combo->currentText(), QPalette::ButtonText, faceOf(*combo)};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) {
        if (!edit->text().isEmpty()) {
            return DrawnText {edit->text(), QPalette::Text, faceOf(*edit)};
        }
        if (!edit->placeholderText().isEmpty()) {
            return DrawnText {edit->placeholderText(), QPalette::PlaceholderText, faceOf(*edit)};
        }
    }
    return std::nullopt;
}

QString describe(const QWidget& widget, const QString& text)
{
    return QString::fromLatin1(widget.metaObject()->className()) + u' ' + widget.objectName() + QStringLiteral(" \"")
        + text.left(60) + u'"';
}

// The enabled texts shown in `window` (a disabled control is exempt), each
// scrolled into view where it stands in a scroll area.
std::vector<TextSample> textsIn(QWidget& window)
{
    std::vector<TextSample> samples;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->window() != &window || !widget->isVisible() || !widget->isEnabled()) {
            continue;
        }
        const std::optional<DrawnText> drawn = drawnText(*widget);
        if (!drawn) {
            continue;
        }
        for (QWidget* parent = widget->parentWidget(); parent != nullptr; parent = parent->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(parent); area != nullptr && area->widget() != nullptr
                && area->widget()->isAncestorOf(widget)) {
                area->ensureWidgetVisible(widget, 0, 0);
            }
        }
        QApplication::processEvents();
        const QRect shown = widget->visibleRegion().boundingRect().intersected(drawn->area);
        if (shown.isEmpty()) {
            continue;  // a list's or field's inner part that shows nothing here
        }
        const QImage image = window.grab(QRect(widget->mapTo(&window, shown.topLeft()), shown.size())).toImage();
        const QPalette::ColorGroup group = widget->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
        const QColor text = widget->palette().color(group, drawn->role);
        samples.push_back({describe(*widget, drawn->text), text, backgroundColor(image, text),
            text.alpha() < 255 || drawn->role == QPalette::PlaceholderText});
    }
    return samples;
}

const TextSample* findSample(const std::vector<TextSample>& samples, const QString& part)
{
    for (const TextSample& sample : samples) {
        if (sample.what.contains(part)) {
            return &sample;
        }
    }
    return nullptr;
}

class ContrastTest : public ::testing::Test {
protected:
    ContrastTest()
    {
        m_dir.writeFile("tree/a:b.txt", "x");
        m_dir.writeFile("tree/c?d/e*f.txt", "x");
        test::openTreeForNtfs(m_window, m_dir);
    }

    test::TempDir m_dir;
    test::ComposedMainWindow m_window {m_dir};
};

TEST_F(ContrastTest, EveryTextOfTheWindowPaneAndSettingsReadsUnderEveryPalette)
{
    ASSERT_TRUE(test::showAndScan(
        m_window, [](ContentView& content) { return content.model().filteredIssueCount() >= 2; }, 30000));
    QMainWindow& window = m_window.show();
    ContentView& content = *m_window.content();
    ASSERT_TRUE(test::openAdvancedPane(m_window));
    // A changed setting shows the preset bar's "Modified" and "Reset".
    auto* stripControl = window.findChild<QAbstractButton*>(QStringLiteral("stripControlCheckBox"));
    ASSERT_NE(stripControl, nullptr);
    QTest::mouseClick(stripControl, Qt::LeftButton, {}, QPoint(8, stripControl->height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return content.model().isPresetModified(); }));
    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QDialog* shown = content.settingsSheet();
        return shown != nullptr && shown->isVisible();
    }));
    QDialog& sheet = *content.settingsSheet();
    const auto clickAppearance = [&sheet](const char* name) {
        auto* segment = sheet.findChild<QAbstractButton*>(QString::fromLatin1(name));
        ASSERT_NE(segment, nullptr);
        QTest::mouseClick(segment, Qt::LeftButton);
    };

    // "Auto" (the default) takes what the desktop hands over; "Light" and
    // "Dark" are chosen in the sheet.
    struct Case {
        const char* name;
        const char* segment;
        std::optional<QPalette> desktop;
        QColor window;
    };
    const QPalette lightDesktop = test::desktopPalette(test::lightDesktopScheme());
    const QPalette darkDesktop = test::desktopPalette(test::darkDesktopScheme());
    // The desktop leaves the placeholder at Qt's default.
    ASSERT_EQ(darkDesktop.color(QPalette::PlaceholderText), QColor(0, 0, 0, 128));
    const Case cases[] = {
        {"desktop-light", "appearanceAutoButton", lightDesktop, lightDesktop.color(QPalette::Window)},
        {"desktop-dark", "appearanceAutoButton", darkDesktop, darkDesktop.color(QPalette::Window)},
        {"light", "appearanceLightButton", std::nullopt, theme::lightPalette().color(QPalette::Window)},
        {"dark", "appearanceDarkButton", std::nullopt, theme::darkPalette().color(QPalette::Window)},
    };
    // At the default and at the smallest size: the smaller window elides,
    // wraps and scrolls other texts.
    for (const QSize size : {QSize(1000, 800), QSize(800, 480)}) {
        const QString sizeName = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        SCOPED_TRACE(sizeName.toStdString());
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }));
        clickAppearance("appearanceAutoButton");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            if (c.desktop) {
                ASSERT_TRUE(sheet.findChild<QAbstractButton*>(QString::fromLatin1(c.segment))->isChecked());
                QApplication::setPalette(*c.desktop);
            } else {
                clickAppearance(c.segment);
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::palette().color(QPalette::Window) == c.window; }))
                << QApplication::palette().color(QPalette::Window).name().toStdString();
            // The roles worked out from the palette follow on the next turn; the
            // texts below show whether they came.
            static_cast<void>(QTest::qWaitFor(
                [] {
                    const QPalette now = QApplication::palette();
                    return now.color(QPalette::PlaceholderText) == theme::secondaryLabel(now);
                },
                1000));
            QTest::qWait(20);

            std::vector<TextSample> samples = textsIn(window);
            const std::vector<TextSample> sheetSamples = textsIn(sheet);
            samples.insert(samples.end(), sheetSamples.begin(), sheetSamples.end());
            EXPECT_GE(samples.size(), 60U);
            // The texts the secondary style is known for are among them.
            ASSERT_NE(findSample(samples, QStringLiteral("modifiedLabel")), nullptr);
            for (const char* part : {"Text encoding", "PREFERENCES", "first = highest precedence", "Filter by name",
                     "Filename patterns to skip during scanning", "Hidden files and directories"}) {
                const TextSample* sample = findSample(samples, QString::fromUtf8(part));
                ASSERT_NE(sample, nullptr) << part;
                EXPECT_TRUE(sample->secondary) << part;
            }
            for (const TextSample& sample : samples) {
                EXPECT_GE(sample.ratio(), sample.required())
                    << sample.what.toStdString() << ": " << sample.text.name(QColor::HexArgb).toStdString() << " on "
                    << sample.background.name().toStdString();
            }

            if (c.desktop) {
                // For review: the window with the pane, and the sheet, each from
                // the top and scrolled to the end.
                auto* settingsArea = sheet.findChild<QScrollArea*>(QStringLiteral("settingsScrollArea"));
                auto* pane = window.findChild<AdvancedSettingsView*>();
                ASSERT_TRUE(settingsArea != nullptr && pane != nullptr);
                for (const bool end : {false, true}) {
                    for (QScrollArea* area : {settingsArea, pane->scrollArea()}) {
                        area->verticalScrollBar()->setValue(end ? area->verticalScrollBar()->maximum() : 0);
                    }
                    QApplication::processEvents();
                    const QString prefix = QString::fromLatin1(c.name);
                    const QString suffix = end ? QStringLiteral("-end") : QString();
                    EXPECT_TRUE(window.grab().save(test::ComposedMainWindow::screenshotPath(prefix + "-advanced-" + sizeName + suffix)));
                    EXPECT_TRUE(sheet.grab().save(test::ComposedMainWindow::screenshotPath(prefix + "-settings-" + sizeName + suffix)));
                }
                for (QScrollArea* area : {settingsArea, pane->scrollArea()}) {
                    area->verticalScrollBar()->setValue(0);
                }
            }
        }
    }
    sheet.reject();
    MainWindowComposition::applyAppearance(AppSettings::AppearanceMode::light);
}

}  // namespace
}  // namespace tess
