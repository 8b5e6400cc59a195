#include "engine/table/index_maintenance.h"

#include "engine/table/secondary_index.h"
#include "engine/table/secondary_index_maintainer.h"

namespace pdx {

namespace {

IndexMaintainerFactory& maintainer_factory_slot() {
    static IndexMaintainerFactory factory = make_secondary_index_maintainer;
    return factory;
}

IndexRebuilder& rebuilder_slot() {
    static IndexRebuilder rebuilder = rebuild_restructured_indexes;
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
