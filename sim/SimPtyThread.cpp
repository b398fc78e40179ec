#include "sim/SimPtyThread.h"

#include "sim/SimController.h"
#include "sim/SimPty.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

SimPtyThread::SimPtyThread()
    : m_thread(std::make_unique<QThread>())
{
    m_thread->start();
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_context, &QObject::deleteLater);
    onThread([this] {
        m_controller = new SimController;
        m_pty = new SimPty(m_controller);
        if (m_pty->open())
            m_slavePath = m_pty->slavePath();
    });
}

SimPtyThread::~SimPtyThread()
{
    onThread([this] {
        delete m_pty;
        delete m_controller;
    });
    m_thread->quit();
    m_thread->wait();
}

void SimPtyThread::onThread(const std::function<void()>& f)
{
    QMetaObject::invokeMethod(m_context, f, Qt::BlockingQueuedConnection);
}

void SimPtyThread::with(const std::function<void(SimController&)>& f)
{
    onThread([this, &f] { f(*m_controller); });
}

void SimPtyThread::withPty(const std::function<void(SimPty&)>& f)
{
    onThread([this, &f] { f(*m_pty); });
}

void SimPtyThread::close()
{
    onThread([this] { m_pty->close(); });
}
