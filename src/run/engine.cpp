#include "run/engine.h"

Engine::Engine(FormView& view, const CodePage& codePage, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_codePage(codePage)
{
    settings.applyDefaults();
    Inet2.setRemoteCodec(codePage.name());
    connect(&Timer1, &IntervalTimer::tick, this, &Engine::Timer1_Timer);
}

Engine::~Engine() = default;
