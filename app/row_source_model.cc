#include "app/row_source_model.h"

#include <QMetaObject>
#include <QtGlobal>
#include <algorithm>
#include <climits>

#include "app/error_box.h"

namespace vaq::app {

RowSourceModel::RowSourceModel(QObject* parent) : QAbstractTableModel(parent) {}

namespace {

// A view addresses rows with int; a larger table shows its first INT_MAX rows.
int view_rows(std::int64_t rows) {
    return static_cast<int>(std::min<std::int64_t>(rows, INT_MAX));
}

QStringList names_of(const window::RowSource& source) {
    QStringList names;
    for (const std::string& name : source.field_names())
        names.append(QString::fromStdString(name));
    return names;
}

}  // namespace

void RowSourceModel::set_source(std::shared_ptr<const window::RowSource> source) {
    if (source == source_) {
        if (source_) refresh();
        return;
    }
    reset_to(std::move(source));
}

void RowSourceModel::reset_to(std::shared_ptr<const window::RowSource> source) {
    beginResetModel();
    source_ = std::move(source);
    forget_blocks();
    fieldNames_.clear();
    rows_ = 0;
    version_ = 0;
    if (source_) {
        try {
            version_ = source_->version();
            fieldNames_ = names_of(*source_);
            rows_ = view_rows(source_->row_count());
        } catch (...) {
            fieldNames_.clear();
            rows_ = 0;
            report_read_error(current_error_message());
        }
    }
    endResetModel();
}

void RowSourceModel::refresh() {
    QStringList names;
    int rows = 0;
    std::uint64_t version = 0;
    try {
        version = source_->version();
        if (version == version_) return;
        names = names_of(*source_);
        rows = view_rows(source_->row_count());
    } catch (...) {
        reset_to(source_);
        return;
    }
    if (names != fieldNames_) {
        reset_to(source_);
        return;
    }
    version_ = version;
    forget_blocks();
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (rows_ > 0 && !fieldNames_.isEmpty()) {
        emit dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(fieldNames_.size()) - 1));
    }
}

void RowSourceModel::forget_blocks() {
    blocks_.clear();
    recentBlocks_.clear();
    readErrorReported_ = false;
}

void RowSourceModel::set_read_error_handler(std::function<void(const std::string&)> handler) {
    readErrorHandler_ = std::move(handler);
}

int RowSourceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RowSourceModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fieldNames_.size());
}

QVariant RowSourceModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) return {};
    const Block& rows = block(index.row() / kBlockRows);
    const std::size_t offset = static_cast<std::size_t>(index.row() % kBlockRows);
    if (offset >= rows.size()) return {};
    const QStringList& row = rows[offset];
    return index.column() < row.size() ? QVariant(row.at(index.column())) : QVariant();
}

QVariant RowSourceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    if (section < 0 || section >= fieldNames_.size()) return {};
    return fieldNames_.at(section);
}

Qt::ItemFlags RowSourceModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

const RowSourceModel::Block& RowSourceModel::block(std::int64_t blockIndex) const {
    if (auto found = blocks_.find(blockIndex); found != blocks_.end()) {
        recentBlocks_.remove(blockIndex);
        recentBlocks_.push_front(blockIndex);
        return found->second;
    }
    if (blocks_.size() >= kCachedBlocks) {
        blocks_.erase(recentBlocks_.back());
        recentBlocks_.pop_back();
    }
    recentBlocks_.push_front(blockIndex);
    return blocks_.emplace(blockIndex, read_block(blockIndex)).first->second;
}

RowSourceModel::Block RowSourceModel::read_block(std::int64_t blockIndex) const {
    Block result;
    try {
        const auto rows = source_->read_rows(blockIndex * kBlockRows, kBlockRows);
        result.reserve(rows.size());
        for (const auto& row : rows) {
            QStringList texts;
            texts.reserve(static_cast<qsizetype>(row.size()));
            for (const std::string& field : row)
                texts.append(QString::fromStdString(field));
            result.push_back(std::move(texts));
        }
    } catch (...) {
        // The block stays empty (blank cells) until the table is shown again.
        report_read_error(current_error_message());
    }
    return result;
}

void RowSourceModel::report_read_error(const std::string& message) const {
    if (readErrorReported_) return;
    readErrorReported_ = true;
    if (!readErrorHandler_) {
        qWarning("Cannot read the rows of the grid: %s", message.c_str());
        return;
    }
    // Reads happen while the view paints; the box waits until painting is over.
    QMetaObject::invokeMethod(
        const_cast<RowSourceModel*>(this),
        [handler = readErrorHandler_, message] { handler(message); }, Qt::QueuedConnection);
}

}  // namespace vaq::app
