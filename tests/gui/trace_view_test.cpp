#include "app/gui/trace_view.h"

#include "gui_test_registry.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include <string>
#include <thread>

namespace {

std::string Line(int n) {
    return "line " + std::to_string(n) + "\n";
}

// The field's text for lines first..last.
QString Expected(int first, int last) {
    QString text;
    for (int n = first; n <= last; ++n) {
        text += QString::fromStdString(Line(n));
    }
    return text;
}

void PostLines(tarvu::TraceView& view, int first, int last) {
    for (int n = first; n <= last; ++n) {
        view.Post(Line(n));
    }
}

}  // namespace

class TraceViewTest : public QObject {
    Q_OBJECT

private:
    static std::unique_ptr<tarvu::TraceView> Shown() {
        auto view = std::make_unique<tarvu::TraceView>();
        view->resize(600, 300);
        view->show();
        return view;
    }

private slots:
    void fieldFollowsTraceRules() {
        auto view = Shown();
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(view->font().pixelSize(), 12);
        QVERIFY(QFontInfo(view->font()).fixedPitch());
    }

    // The newest three lines stand at the top of the visible area; with three lines or fewer
    // the field shows from its first line.
    void newestThreeLinesAtTop() {
        auto view = Shown();
        PostLines(*view, 0, 1);
        QTRY_COMPARE(view->Lines().Count(), std::size_t{2});
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        PostLines(*view, 2, 4);
        QTRY_COMPARE(view->Lines().Count(), std::size_t{5});
        QCOMPARE(view->verticalScrollBar()->value(), 2);
        QCOMPARE(view->document()->findBlockByNumber(2).text(), QStringLiteral("line 2"));

        PostLines(*view, 5, 99);
        QTRY_COMPARE(view->Lines().Count(), std::size_t{100});
        QCOMPARE(view->verticalScrollBar()->value(), 97);
        QCOMPARE(view->document()->findBlockByNumber(97).text(), QStringLiteral("line 97"));
    }

    // Each line beyond 200 pushes out the oldest, whether lines come one batch at a time or
    // in a batch larger than the field.
    void holdsAtMostTwoHundredLines() {
        auto view = Shown();
        PostLines(*view, 0, 149);
        QTRY_COMPARE(view->Lines().AppendedTotal(), uint64_t{150});
        PostLines(*view, 150, 249);
        QTRY_COMPARE(view->Lines().AppendedTotal(), uint64_t{250});
        QCOMPARE(view->toPlainText(), Expected(50, 249));
        // 200 lines and the empty line after the last line end.
        QCOMPARE(view->document()->blockCount(), 201);
        QCOMPARE(view->verticalScrollBar()->value(), 197);

        view->Post(Line(250));
        QTRY_COMPARE(view->Lines().AppendedTotal(), uint64_t{251});
        QCOMPARE(view->toPlainText(), Expected(51, 250));

        PostLines(*view, 251, 700);
        QTRY_COMPARE(view->Lines().AppendedTotal(), uint64_t{701});
        QCOMPARE(view->toPlainText(), Expected(501, 700));
        QCOMPARE(view->verticalScrollBar()->value(), 197);
    }

    void piecesWithoutOrWithSeveralLineEnds() {
        tarvu::TraceLines lines;
        lines.Append("a");
        lines.Append("b\nc\n");
        lines.Append("d\r\n");
        lines.Append("");
        QCOMPARE(lines.Count(), std::size_t{4});
        QCOMPARE(lines.Line(0), std::string("a"));
        QCOMPARE(lines.Line(2), std::string("c"));
        QCOMPARE(lines.Line(3), std::string("d"));
        QCOMPARE(lines.FirstVisibleLine(), std::size_t{1});
    }

    // Lines posted before a clear never show after it; lines posted after it do.
    void clearDropsQueuedLines() {
        auto view = Shown();
        PostLines(*view, 0, 9);
        QTRY_COMPARE(view->Lines().Count(), std::size_t{10});
        PostLines(*view, 10, 14);  // still queued: no event loop has run since
        view->ClearTrace();
        QCOMPARE(view->toPlainText(), QString());
        view->Post(Line(15));
        QTRY_COMPARE(view->Lines().Count(), std::size_t{1});
        QTest::qWait(3 * tarvu::TraceView::kDrainIntervalMs);
        QCOMPARE(view->toPlainText(), Expected(15, 15));
        QCOMPARE(view->Lines().Count(), std::size_t{1});
    }

    // A flood from another thread: every line passes through the store, the field ends with
    // the last 200, and the field is brought up to date far less often than once per line.
    void floodFromWorkerThreadIsCoalesced() {
        auto view = Shown();
        constexpr int kLines = 20000;
        std::thread worker([&view] { PostLines(*view, 0, kLines - 1); });
        QTRY_COMPARE_WITH_TIMEOUT(view->Lines().AppendedTotal(), uint64_t{kLines}, 20000);
        worker.join();
        QTest::qWait(3 * tarvu::TraceView::kDrainIntervalMs);
        QCOMPARE(view->Lines().AppendedTotal(), uint64_t{kLines});
        QCOMPARE(view->toPlainText(), Expected(kLines - 200, kLines - 1));
        QCOMPARE(view->verticalScrollBar()->value(), 197);
        QVERIFY2(view->UpdateCount() < kLines / 20,
                 qPrintable(QStringLiteral("updates: %1").arg(view->UpdateCount())));
    }
};

TARVU_GUI_TEST(TraceViewTest);

#include "trace_view_test.moc"
