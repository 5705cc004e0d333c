// Undo and redo of the operator's edits in the receive box.
#include "ReceiveBox.h"

#include <new>

namespace ondril {

namespace {

// Steps kept for Undo; the oldest go first.
constexpr size_t undoDepth = 100;

} // namespace

bool ReceiveBox::typingGoesOn(qint64 from, qint64 to, Origin origin) const
{
    return origin == Origin::Typed && m_typingRun && from == to && !m_undo.empty()
        && m_undo.back().at + m_undo.back().take == from;
}

bool ReceiveBox::prepareStep(qint64 from, qint64 to, qint64 inserted, Origin origin, bool joins, Step *step)
{
    if (origin != Origin::Typed && origin != Origin::Edit)
        return true;
    step->at = from;
    step->take = inserted;
    if (joins)
        return true; // the last step grows: nothing to put back
    try {
        step->put = m_text.bytes(from, to).toByteArray();
        m_undo.reserve(m_undo.size() + 1);
    } catch (const std::bad_alloc &) {
        emit noMemoryFor(tr("keep this change for Undo"));
        return false;
    }
    return true;
}

void ReceiveBox::commitStep(Step step, bool joins, Origin origin)
{
    if (origin == Origin::Received)
        return; // lines come in at the end, where they move no step's place
    m_typingRun = origin == Origin::Typed;
    if (origin == Origin::History)
        return;
    m_redo.clear();
    if (joins) {
        m_undo.back().take += step.take;
        return;
    }
    if (m_undo.size() >= undoDepth)
        m_undo.erase(m_undo.begin());
    m_undo.push_back(std::move(step));
}

bool ReceiveBox::travel(std::vector<Step> &from, std::vector<Step> &to)
{
    if (from.empty())
        return false;
    const Step &step = from.back();
    Step back;
    try {
        back = {step.at, m_text.bytes(step.at, step.at + step.take).toByteArray(), step.put.size()};
        to.reserve(to.size() + 1);
    } catch (const std::bad_alloc &) {
        emit noMemoryFor(tr("undo this change"));
        return false;
    }
    if (!edit(step.at, step.at + step.take, step.put, Origin::History))
        return false;
    from.pop_back();
    to.push_back(std::move(back));
    return true;
}

bool ReceiveBox::undo()
{
    return travel(m_undo, m_redo);
}

bool ReceiveBox::redo()
{
    return travel(m_redo, m_undo);
}

void ReceiveBox::forgetHistory()
{
    std::vector<Step>().swap(m_undo);
    std::vector<Step>().swap(m_redo);
    m_typingRun = false;
}

} // namespace ondril
