// frmObservations "Calibration Observations": mirrors ObservationListModel
// and forwards the user's actions. Loaded when shown, unloaded when closed
// (its place and size go back to the settings).
#pragma once

#include <QListWidget>
#include <QWidget>
#include <memory>

#include "observation_list_model.h"

class QLabel;
class QPushButton;

namespace celaris::windows {

// lstObservations: says when the user let go of a mouse button or of the
// Up or Down key, the moments the check boxes are taken over.
class ObservationListWidget : public QListWidget {
    Q_OBJECT
  public:
    explicit ObservationListWidget(QWidget* parent = nullptr);
    ~ObservationListWidget() override;
    // Where an item's text starts, from the widget's left edge (pixels).
    int TextOffset() const;
    // Moves the texts right of the check boxes by px more than the style
    // would.
    void SetTextShift(int px);

  signals:
    void released();

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

  private:
    class TextShiftStyle;
    std::unique_ptr<TextShiftStyle> style_;
};

class ObservationListWindow : public QWidget {
    Q_OBJECT
  public:
    ObservationListWindow(models::ObservationListModel& model, QWidget* parent = nullptr);

    models::ObservationListModel& model() { return model_; }
    bool loaded() const { return loaded_; }
    // Loading: the settings' place and size; the list is filled by whoever
    // shows the window.
    void Load();
    // Unloading: place and size into the settings.
    void Unload();
    void Sync();

    QSize sizeHint() const override;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void LayOut();
    void AlignHeading();

    models::ObservationListModel& model_;
    QLabel* txtHeadings_;
    ObservationListWidget* lstObservations_;
    QPushButton *cmdUndo_, *cmdRemove_, *cmdShowPlot_, *cmdUpdate_, *cmdOpen_, *cmdSave_;
    bool loaded_ = false;
};

}  // namespace celaris::windows
