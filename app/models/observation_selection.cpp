#include "observation_selection.h"

#include <algorithm>

namespace celaris::models {

void ObservationSelection::Pick(int index) {
    SetSelected(index);
    emit selectObservation(selected_);
}

void ObservationSelection::SetSelected(int index) {
    index = std::max(index, 0);
    if (index == selected_) return;
    selected_ = index;
    emit selectionChanged(selected_);
}

void ObservationSelection::SetListVisible(bool visible) {
    if (visible == listVisible_) return;
    listVisible_ = visible;
    emit listVisibleChanged(visible);
}

}  // namespace celaris::models
