#pragma once

#include <QDialog>
#include <QGraphicsView>
#include <QImage>

class QGraphicsPixmapItem;
class QLabel;

// A graphics view that zooms on the mouse wheel, around the point under it.
class ZoomableView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit ZoomableView(QWidget *parent = nullptr);

protected:
    void wheelEvent(QWheelEvent *event) override;
};

// One picture at full size on a near-black backdrop, with an optional
// caption: zoom with +/- and the wheel, 0 fits, 1 shows actual pixels, drag
// pans, Escape or Q closes.
class ImageLightbox : public QDialog
{
    Q_OBJECT

public:
    ImageLightbox(const QImage &image, const QString &caption, QWidget *parent = nullptr);

    ZoomableView *view() const { return m_view; }
    // The view's current scale: 1 is actual pixels.
    qreal zoom() const;

public Q_SLOTS:
    void zoomIn();
    void zoomOut();
    void fit();
    void actualSize();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    ZoomableView *m_view;
    QGraphicsPixmapItem *m_item = nullptr;
    QLabel *m_caption = nullptr;
    bool m_fitted = false;
};
