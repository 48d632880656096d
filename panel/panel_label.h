#pragma once
// A caption drawn on the front panel whose text and visibility change at run time.

#include <QString>
#include <QWidget>

namespace velmora {

/// Text and visibility of one drawn label; a change repaints the panel.
class PanelLabel {
  public:
    PanelLabel(QWidget* surface, QString caption, bool visible)
        : surface_(surface), caption_(std::move(caption)), visible_(visible) {}

    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption) {
        if (caption == caption_) return;
        caption_ = caption;
        surface_->update();
    }
    bool isVisible() const { return visible_; }
    void setVisible(bool visible) {
        if (visible == visible_) return;
        visible_ = visible;
        surface_->update();
    }

  private:
    QWidget* surface_;
    QString caption_;
    bool visible_;
};

} // namespace velmora
