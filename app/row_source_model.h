#pragma once

// The grid DBGrid1's view of a table: reads rows from a RowSource in blocks, only when the
// view asks for them, and keeps a bounded number of blocks.

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "port/row_source.h"

namespace vaq::app {

class RowSourceModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kBlockRows = 256;
    static constexpr std::size_t kCachedBlocks = 32;

    explicit RowSourceModel(QObject* parent = nullptr);

    // Shows source (null: nothing). The same source at the same version keeps what is shown;
    // at a new version its rows are read again, keeping the view's place when only rows came
    // or went; another source starts afresh.
    void set_source(std::shared_ptr<const window::RowSource> source);
    // Called, after the view has finished drawing, with the message of a read that failed.
    void set_read_error_handler(std::function<void(const std::string&)> handler);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    using Block = std::vector<QStringList>;

    void reset_to(std::shared_ptr<const window::RowSource> source);
    void refresh();
    void forget_blocks();
    const Block& block(std::int64_t blockIndex) const;
    Block read_block(std::int64_t blockIndex) const;
    void report_read_error(const std::string& message) const;

    std::shared_ptr<const window::RowSource> source_;
    std::uint64_t version_ = 0;
    int rows_ = 0;
    QStringList fieldNames_;
    std::function<void(const std::string&)> readErrorHandler_;
    mutable bool readErrorReported_ = false;
    // Most recently used block first.
    mutable std::list<std::int64_t> recentBlocks_;
    mutable std::unordered_map<std::int64_t, Block> blocks_;
};

}  // namespace vaq::app
