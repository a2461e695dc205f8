#include "app/gui/trace_view.h"

#include "gui_test_registry.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include <chrono>
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
    // The newest three lines stand at the top of the visible area; with three lines or fewer
    // the field shows from its first line.
    void newestThreeLinesAtTop() {
        auto view = Shown();
        PostLines(*view, 0, 1);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{2});
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        PostLines(*view, 2, 4);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{5});
        QCOMPARE(view->verticalScrollBar()->value(), 2);
        QCOMPARE(view->document()->findBlockByNumber(2).text(), QStringLiteral("line 2"));

        PostLines(*view, 5, 99);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{100});
        QCOMPARE(view->verticalScrollBar()->value(), 97);
        QCOMPARE(view->document()->findBlockByNumber(97).text(), QStringLiteral("line 97"));
    }

    // Each line beyond 200 pushes out the oldest, whether lines come one batch at a time or
    // in a batch larger than the field.
    void holdsAtMostTwoHundredLines() {
        auto view = Shown();
        PostLines(*view, 0, 149);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{150});
        PostLines(*view, 150, 249);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{250});
        QCOMPARE(view->toPlainText(), Expected(50, 249));
        // 200 lines and the empty line after the last line end.
        QCOMPARE(view->document()->blockCount(), 201);
        QCOMPARE(view->verticalScrollBar()->value(), 197);

        view->Post(Line(250));
        QTRY_COMPARE(view->LinesTaken(), uint64_t{251});
        QCOMPARE(view->toPlainText(), Expected(51, 250));

        PostLines(*view, 251, 700);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{701});
        QCOMPARE(view->toPlainText(), Expected(501, 700));
        QCOMPARE(view->verticalScrollBar()->value(), 197);
    }

    // A piece without a line end is continued by the next one, as in a text field.
    void pieceWithoutLineEndIsContinued() {
        auto view = Shown();
        PostLines(*view, 0, 4);
        view->Post("09:05:03.007 ");
        QTRY_COMPARE(view->toPlainText(), Expected(0, 4) + "09:05:03.007 ");
        QCOMPARE(view->verticalScrollBar()->value(), 2);
        view->Post("010.000.000.001:10001 --> 7E\n");
        view->Post("two\nlines\n");
        QTRY_COMPARE(view->LinesTaken(), uint64_t{8});
        QCOMPARE(view->toPlainText(),
                 Expected(0, 4) + "09:05:03.007 010.000.000.001:10001 --> 7E\ntwo\nlines\n");
        QCOMPARE(view->verticalScrollBar()->value(), 5);
    }

    // Lines posted before a clear never show after it; lines posted after it do.
    void clearDropsQueuedLines() {
        auto view = Shown();
        PostLines(*view, 0, 9);
        QTRY_COMPARE(view->LinesTaken(), uint64_t{10});
        PostLines(*view, 10, 14);  // still queued: no event loop has run since
        view->ClearTrace();
        QCOMPARE(view->toPlainText(), QString());
        view->Post(Line(15));
        QTRY_COMPARE(view->toPlainText(), Expected(15, 15));
        QTest::qWait(3 * tarvu::TraceView::kDrainIntervalMs);
        QCOMPARE(view->toPlainText(), Expected(15, 15));
    }

    // A flood from another thread: every line passes through the store, the field ends with
    // the last 200, and the field is brought up to date far less often than once per line.
    void floodFromWorkerThreadIsCoalesced() {
        auto view = Shown();
        constexpr int kLines = 20000;
        QElapsedTimer clock;
        clock.start();
        // Bursts with short pauses, as a busy link delivers them: the user-interface thread
        // gets the chance to take lines in between.
        std::thread worker([&view] {
            for (int n = 0; n < kLines; n += 20) {
                PostLines(*view, n, n + 19);
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(view->LinesTaken(), uint64_t{kLines}, 20000);
        const qint64 elapsed = clock.elapsed();
        worker.join();
        QTest::qWait(3 * tarvu::TraceView::kDrainIntervalMs);
        QCOMPARE(view->LinesTaken(), uint64_t{kLines});
        QCOMPARE(view->toPlainText(), Expected(kLines - 200, kLines - 1));
        QCOMPARE(view->verticalScrollBar()->value(), 197);
        // Updates are held off only while the field changes.
        QVERIFY(view->viewport()->updatesEnabled());
        // At most one update per drain interval.
        const auto allowed =
            static_cast<uint64_t>(elapsed / tarvu::TraceView::kDrainIntervalMs + 2);
        QVERIFY2(view->UpdateCount() <= allowed,
                 qPrintable(
                     QStringLiteral("%1 updates in %2 ms").arg(view->UpdateCount()).arg(elapsed)));
    }
};

TARVU_GUI_TEST(TraceViewTest);

#include "trace_view_test.moc"
