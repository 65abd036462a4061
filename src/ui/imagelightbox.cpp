#include "imagelightbox.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

constexpr qreal kKeyZoomIn = 1.25;
constexpr qreal kKeyZoomOut = 0.8;
constexpr qreal kWheelZoom = 1.15;

// The picture plus a little room, never bigger than 1400 x 900 nor than
// three quarters of the screen, never smaller than 480 x 360.
QSize initialSize(const QSize &image, bool hasCaption)
{
    int maxWidth = 1400;
    int maxHeight = 900;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableGeometry().size();
        maxWidth = qMin(maxWidth, available.width() * 3 / 4);
        maxHeight = qMin(maxHeight, available.height() * 3 / 4);
    }
    const int width = qMin(image.width() + 16, maxWidth);
    const int height = qMin(image.height() + (hasCaption ? 48 : 16), maxHeight);
    return QSize(qMax(width, 480), qMax(height, 360));
}

} // namespace

ZoomableView::ZoomableView(QWidget *parent)
    : QGraphicsView(parent)
{
}

void ZoomableView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    const qreal factor = delta > 0 ? kWheelZoom : 1 / kWheelZoom;
    scale(factor, factor);
    event->accept();
}

ImageLightbox::ImageLightbox(const QImage &image, const QString &caption, QWidget *parent)
    : QDialog(parent)
    , m_view(new ZoomableView(this))
{
    setWindowTitle(tr("Image"));
    setModal(true);
    setStyleSheet(QStringLiteral("QDialog { background-color: #0a0a0a; }"));

    auto *scene = new QGraphicsScene(this);
    m_item = scene->addPixmap(QPixmap::fromImage(image));
    m_item->setTransformationMode(Qt::SmoothTransformation);
    scene->setSceneRect(m_item->boundingRect());
    m_view->setScene(scene);
    m_view->setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setBackgroundBrush(QColor(10, 10, 10));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    if (!caption.isEmpty()) {
        m_caption = new QLabel(caption, this);
        m_caption->setAlignment(Qt::AlignCenter);
        m_caption->setStyleSheet(QStringLiteral(
            "QLabel { color: #cccccc; background-color: #0a0a0a; padding: 8px; font-size: 12px; }"));
        layout->addWidget(m_caption);
    }
    resize(initialSize(image.size(), m_caption != nullptr));
}

qreal ImageLightbox::zoom() const
{
    return m_view->transform().m11();
}

void ImageLightbox::zoomIn()
{
    m_view->scale(kKeyZoomIn, kKeyZoomIn);
}

void ImageLightbox::zoomOut()
{
    m_view->scale(kKeyZoomOut, kKeyZoomOut);
}

void ImageLightbox::fit()
{
    // Measured without the scroll bars of the picture at its old scale:
    // they go away once it fits and would leave a gap.
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->resetTransform();
    m_view->fitInView(m_item, Qt::KeepAspectRatio);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ImageLightbox::actualSize()
{
    m_view->resetTransform();
}

void ImageLightbox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        zoomIn();
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoomOut();
        break;
    case Qt::Key_0:
        fit();
        break;
    case Qt::Key_1:
        actualSize();
        break;
    case Qt::Key_Q:
    case Qt::Key_Escape:
        reject();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ImageLightbox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Only the first time: a picture the user zoomed stays as it is when the
    // window comes back, and resizing never refits.
    if (!m_fitted) {
        m_fitted = true;
        fit();
    }
}
