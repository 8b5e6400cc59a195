// The transaction grid reads only the rows it shows, so a table of a million records opens at
// once and scrolls anywhere.

#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include "app/row_source_model.h"
#include "common/error.h"

using vaq::app::RowSourceModel;

namespace {

// A table of generated rows that counts how much of it was read.
class CountingRows : public vaq::window::RowSource {
  public:
    explicit CountingRows(std::int64_t rows) : rows_(rows) {}

    std::vector<std::string> field_names() const override { return {"TransID", "CardID", "Door"}; }
    std::int64_t row_count() const override { return rows_; }
    std::vector<std::vector<std::string>> read_rows(std::int64_t first,
                                                    std::int64_t count) const override {
        ++reads;
        if (failReads) throw vaq::Error("Table is damaged: Transact.db");
        std::vector<std::vector<std::string>> result;
        for (std::int64_t row = first; row < std::min(first + count, rows_); ++row) {
            result.push_back({std::to_string(row + 1), "CARD" + std::to_string(row), "Main"});
            ++rowsRead;
        }
        return result;
    }
    std::uint64_t version() const override { return changes; }
    void grow(std::int64_t rows) {
        rows_ = rows;
        ++changes;
    }

    mutable int reads = 0;
    mutable std::int64_t rowsRead = 0;
    bool failReads = false;
    std::uint64_t changes = 1;

  private:
    std::int64_t rows_;
};

}  // namespace

class RowSourceModelTest : public QObject {
    Q_OBJECT

  private slots:
    void a_million_rows_open_without_reading_them() {
        auto rows = std::make_shared<CountingRows>(1'000'000);
        RowSourceModel model;
        model.set_source(rows);
        QCOMPARE(model.rowCount(), 1'000'000);
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("TransID"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Door"));
        QCOMPARE(rows->reads, 0);

        QTableView view;
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(rows->reads, 1);
        QVERIFY(rows->rowsRead <= RowSourceModel::kBlockRows);

        view.scrollToBottom();
        QCoreApplication::processEvents();
        QCOMPARE(model.index(999'999, 0).data().toString(), QStringLiteral("1000000"));
        QCOMPARE(model.index(999'999, 1).data().toString(), QStringLiteral("CARD999999"));
        QVERIFY(rows->reads <= 3);
    }

    void blocks_are_kept_within_their_bound() {
        auto rows = std::make_shared<CountingRows>(100'000);
        RowSourceModel model;
        model.set_source(rows);
        const int block = RowSourceModel::kBlockRows;
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("1"));
        QCOMPARE(model.index(block - 1, 0).data().toString(), QString::number(block));
        QCOMPARE(rows->reads, 1);
        // Visiting more blocks than are kept pushes the first one out; it is read again.
        for (int index = 1; index <= int(RowSourceModel::kCachedBlocks); ++index) {
            (void)model.index(index * block, 0).data();
        }
        QCOMPARE(rows->reads, int(RowSourceModel::kCachedBlocks) + 1);
        (void)model.index(5, 0).data();
        QCOMPARE(rows->reads, int(RowSourceModel::kCachedBlocks) + 2);
        // The last block read is still there.
        (void)model.index(int(RowSourceModel::kCachedBlocks) * block, 0).data();
        QCOMPARE(rows->reads, int(RowSourceModel::kCachedBlocks) + 2);
    }

    void changed_table_is_read_again_unchanged_is_not() {
        auto rows = std::make_shared<CountingRows>(10);
        RowSourceModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.set_source(rows);
        (void)model.index(0, 0).data();
        model.set_source(rows);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(rows->reads, 1);

        rows->changes = 2;
        model.set_source(rows);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(changed.count(), 1);
        (void)model.index(0, 0).data();
        QCOMPARE(rows->reads, 2);

        // Another table starts afresh.
        model.set_source(std::make_shared<CountingRows>(4));
        QCOMPARE(resets.count(), 2);
        QCOMPARE(model.rowCount(), 4);

        model.set_source(nullptr);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
    }

    void rows_added_to_the_shown_table_keep_the_views_place() {
        auto rows = std::make_shared<CountingRows>(1000);
        RowSourceModel model;
        model.set_source(rows);
        QTableView view;
        view.setModel(&model);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.scrollTo(model.index(500, 0), QAbstractItemView::PositionAtTop);
        const int scrolledTo = view.rowAt(0);
        QVERIFY(scrolledTo > 400);

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        rows->grow(1010);
        model.set_source(rows);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model.rowCount(), 1010);
        QCOMPARE(model.index(1009, 0).data().toString(), QStringLiteral("1010"));
        QCOMPARE(view.rowAt(0), scrolledTo);

        rows->grow(20);
        model.set_source(rows);
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(resets.count(), 0);
    }

    void cells_cannot_be_edited() {
        RowSourceModel model;
        model.set_source(std::make_shared<CountingRows>(3));
        const Qt::ItemFlags flags = model.flags(model.index(1, 1));
        QVERIFY(!(flags & Qt::ItemIsEditable));
        QVERIFY(flags & Qt::ItemIsSelectable);
        QVERIFY(!model.setData(model.index(1, 1), "x"));
    }

    void a_failed_read_is_reported_once_after_drawing() {
        auto rows = std::make_shared<CountingRows>(1000);
        rows->failReads = true;
        RowSourceModel model;
        std::vector<std::string> reported;
        model.set_read_error_handler(
            [&reported](const std::string& message) { reported.push_back(message); });
        model.set_source(rows);
        QCOMPARE(model.index(0, 0).data(), QVariant());
        QCOMPARE(model.index(700, 0).data(), QVariant());
        QVERIFY(reported.empty());
        QTRY_COMPARE(reported.size(), std::size_t{1});
        QCOMPARE(reported.front(), std::string("Table is damaged: Transact.db"));
    }
};

QTEST_MAIN(RowSourceModelTest)
#include "row_source_model_test.moc"
