#pragma once

#include "SiteTreeModel.h"

class QWidget;

namespace lurvik {

class SiteTreeView;
class SlicedWork;

// Expands (or collapses) every item below and including top as work in slices, so that a tree of
// a hundred thousand items neither freezes the window nor lays itself out once per item. The
// work is started; it ends on its own or by Cancel, and items removed meanwhile are skipped.
SlicedWork* expandBelow(SiteTreeView& view, SiteTreeModel& model, SiteTreeModel::Item* top, bool expand,
                        QWidget* owner);

} // namespace lurvik
