#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QTest>

using namespace korimado;

namespace {

class LineNumberGutterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        storage = std::make_shared<TextStorage>();
        view = std::make_unique<EditorTextView>(storage);
        view->setUndoManager(&undo);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view->resize(500, 300);
        ruler = new LineNumberRuler(view.get(), std::make_shared<LineIndex>(storage));
        view->setRulersVisible(true);
        view->show();
    }

    // The room the number needs at the gutter's right, as the ruler draws it.
    static qreal numberWidth(qsizetype number)
    {
        return QFontMetricsF(LineNumberRuler::numberFont()).horizontalAdvance(QString::number(number));
    }

    void expectNumberFits(qsizetype lastLine)
    {
        const int width = ruler->geometry().width();
        EXPECT_GE(width - numberWidth(lastLine) - 12, 0) << lastLine << " in " << width;
        // The text starts where the gutter ends.
        EXPECT_EQ(ruler->geometry().right() + 1, view->viewport()->geometry().left());
    }

    UndoManager undo;
    std::shared_ptr<TextStorage> storage;
    std::unique_ptr<EditorTextView> view;
    LineNumberRuler* ruler = nullptr;
};

TEST_F(LineNumberGutterTest, WidensForSixAndSevenDigitsAndNarrowsBack)
{
    EXPECT_EQ(ruler->geometry().width(), LineNumberRuler::RuleThickness);

    storage->setString(QString(999'998, u'\n'));  // 999,999 lines
    ASSERT_EQ(ruler->index()->lineCount(), 999'999);
    expectNumberFits(999'999);
    const int sixDigits = ruler->geometry().width();

    // One more line, typed at the end: seven digits.
    view->setSelectedRange(TextRange(storage->length(), 0));
    QTest::keyClick(view.get(), Qt::Key_Return);
    ASSERT_EQ(ruler->index()->lineCount(), 1'000'000);
    expectNumberFits(1'000'000);
    EXPECT_GT(ruler->geometry().width(), sixDigits);

    // The last number keeps its first digit where the ruler draws it.
    view->setSelectedRange(TextRange(storage->length(), 0));
    view->scrollRangeToVisible(TextRange(storage->length(), 0));
    const auto labels = ruler->visibleLabels();
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.back().number, 1'000'000);

    undo.closeAutomaticGroup();
    undo.undo();
    ASSERT_EQ(ruler->index()->lineCount(), 999'999);
    EXPECT_EQ(ruler->geometry().width(), sixDigits);

    storage->setString(QStringLiteral("short\ntext"));
    EXPECT_EQ(ruler->geometry().width(), LineNumberRuler::RuleThickness);
    expectNumberFits(2);
}

TEST_F(LineNumberGutterTest, HiddenRulerTakesNoRoomAndShowsAtItsWidth)
{
    storage->setString(QString(1'000'000, u'\n'));
    view->setRulersVisible(false);
    EXPECT_EQ(view->viewport()->geometry().left(), view->contentsRect().left());
    view->setRulersVisible(true);
    expectNumberFits(1'000'001);
}

}  // namespace
