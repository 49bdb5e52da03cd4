#pragma once

#include <functional>

class QEvent;
class QObject;

// Work handed from a runner thread to the thread an object lives on (the main thread), without
// waiting for it. The event that carries the work is whole before it is posted and is marked for
// the thread sanitizer, so the work sees everything written before the hand-over. Hand-overs to
// the objects of one thread run in the order they were posted, after every event posted before
// them; one whose receiver is gone by then is dropped with it.
//
// The receiver's event() passes every event to runHandOver first.
void handOver(QObject* receiver, std::function<void()> work);

// Runs the work of a hand-over event and answers true; false for any other event.
bool runHandOver(QEvent* event);
