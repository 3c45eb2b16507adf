#include "fileops/PictureWindow.h"

#include "widgets/Controls.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace ketra {

namespace {

// Design sizes in twips: the Close button, and the window that holds it and the image control.
constexpr double kCloseWidth = 615, kCloseHeight = 375;
constexpr double kWindowWidth = 3960 + kCloseWidth + 20, kWindowHeight = 2640 + kCloseHeight + 20;

} // namespace

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("img"));
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lblMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();
}

void PictureArea::setPicture(const QImage& image) {
    m_image = image;
    m_message->hide();
    update();
}

void PictureArea::setMessage(const QString& text) {
    m_image = QImage();
    m_message->setText(text);
    m_message->show();
    update();
}

void PictureArea::clear() {
    m_image = QImage();
    m_message->hide();
    update();
}

QString PictureArea::message() const {
    return m_message->isHidden() ? QString() : m_message->text();
}

void PictureArea::paintEvent(QPaintEvent*) {
    m_message->setGeometry(rect().adjusted(8, 8, -8, -8));
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

PictureWindow::PictureWindow()
    : QWidget(nullptr, Qt::Window), m_loader([this](const DecodedPicture& result) { decoded(result); }) {
    setObjectName(QStringLiteral("frmPic"));
    setWindowTitle(tr("Image Viewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false); // the program ends with its main window
    img = new PictureArea(this);
    cmdClose = makeButton(this, "cmdClose", tr("Close"));
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    cmdClose->resize(std::max(twipsToPixelsX(*this, kCloseWidth), cmdClose->sizeHint().width()),
                     std::max(twipsToPixelsY(*this, kCloseHeight), cmdClose->sizeHint().height()));
    resize(twipsToPixelsX(*this, kWindowWidth), twipsToPixelsY(*this, kWindowHeight));
}

void PictureWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void PictureWindow::Form_Resize() {
    // The rule in twips: the button 20 from the right and bottom edges, the picture above it with
    // 80 to spare.
    cmdClose->move(width() - cmdClose->width() - twipsToPixelsX(*this, 20),
                   height() - cmdClose->height() - twipsToPixelsY(*this, 20));
    img->setGeometry(0, 0, width(), std::max(0, height() - cmdClose->height() - twipsToPixelsY(*this, 80)));
}

void PictureWindow::ShowPicture(const QByteArray& path) {
    show();
    raise();
    img->setMessage(tr("Loading..."));
    m_path = path;
    // No more pixels than the screen can show: a huge picture is scaled down while it is read.
    QSize fit(4096, 4096);
    if (const QScreen* s = screen())
        fit = (s->size() * s->devicePixelRatio()).expandedTo(QSize(1024, 1024));
    m_loader.load(path, fit);
}

void PictureWindow::decoded(const DecodedPicture& result) {
    if (result.image.isNull())
        img->setMessage(result.error);
    else
        img->setPicture(result.image);
}

} // namespace ketra
