#include "engine/table/index_maintenance.h"

namespace pdx {

namespace {

IndexMaintainerFactory& maintainer_factory_slot() {
    static IndexMaintainerFactory factory;
    return factory;
}

IndexRebuilder& rebuilder_slot() {
    static IndexRebuilder rebuilder;
    return rebuilder;
}

}  // namespace

void set_index_maintainer_factory(IndexMaintainerFactory factory) {
    maintainer_factory_slot() = std::move(factory);
}

const IndexMaintainerFactory& index_maintainer_factory() {
    return maintainer_factory_slot();
}

void set_index_rebuilder(IndexRebuilder rebuilder) {
    rebuilder_slot() = std::move(rebuilder);
}

const IndexRebuilder& index_rebuilder() {
    return rebuilder_slot();
}

}  // namespace pdx
