#include "CleanupScreens.h"

#include "CleanupHubView.h"
#include "CleanupReviewView.h"
#include "CleanupSection.h"
#include "SourceViews.h"
#include "library/SidebarItem.h"
#include "ui/AppContext.h"

namespace ovra {

void installCleanupScreens(AppContext& context)
{
    context.cleanupHubScreen = [](const AppContext& c, const std::optional<SidebarItem>&,
                                  QWidget* parent) -> QWidget* {
        return new CleanupHubView(c, parent);
    };
    context.cleanupReviewScreen = [](const AppContext& c, const std::optional<SidebarItem>& item,
                                     QWidget* parent) -> QWidget* {
        const CleanupKind* kind = item ? item->as<CleanupKind>() : nullptr;
        if (!kind) return new QWidget(parent);
        return new CleanupReviewView(c, *kind, parent);
    };
    context.sourcesHubScreen = [](const AppContext& c, const std::optional<SidebarItem>&,
                                  QWidget* parent) -> QWidget* {
        return new SourcesHubView(c, parent);
    };
    context.sourceScreen = [](const AppContext& c, const std::optional<SidebarItem>& item,
                              QWidget* parent) -> QWidget* {
        const SidebarItem::Source* source = item ? item->as<SidebarItem::Source>() : nullptr;
        if (!source) return new QWidget(parent);
        return new SourceView(c, source->name, parent);
    };
    context.cleanupSection = [](const AppContext& c, const std::optional<SidebarItem>&,
                                QWidget* parent) -> QWidget* {
        return new CleanupSection(c, true, parent);
    };
    context.sourcesSection = [](const AppContext& c, const std::optional<SidebarItem>&,
                                QWidget* parent) -> QWidget* {
        return new SourcesSection(c, kHomeSourcesLimit, parent);
    };
}

} // namespace ovra
