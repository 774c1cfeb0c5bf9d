// The observation selected in the observation list window, which the
// residual plot and the sky map mark and let the user change by clicking.
// The list window owns the selection: it reports its selected line with
// SetSelected and its visibility with SetListVisible, and selects the line
// a view asks for through selectObservation.
#pragma once

#include <QObject>

namespace celaris::models {

class ObservationSelection : public QObject {
    Q_OBJECT
    Q_PROPERTY(int selectedIndex READ selectedIndex WRITE SetSelected NOTIFY selectionChanged)
  public:
    explicit ObservationSelection(QObject* parent = nullptr) : QObject(parent) {}

    // The observation (1-based) of the list's selected line; 0 when no line
    // is selected.
    int selectedIndex() const { return selected_; }
    bool listVisible() const { return listVisible_; }

    // A view picked observation index: the list selects its line, and the
    // views mark it at once.
    void Pick(int index);

  public slots:
    // The list's selected line changed (0: none).
    void SetSelected(int index);
    void SetListVisible(bool visible);

  signals:
    // To the list window: select the line whose item data is index.
    void selectObservation(int index);
    void selectionChanged(int index);
    void listVisibleChanged(bool visible);

  private:
    int selected_ = 0;
    bool listVisible_ = false;
};

}  // namespace celaris::models
