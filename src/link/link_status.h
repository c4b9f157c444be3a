#pragma once
// The conditions the device link records in exit_status. The link assigns it whole: the
// latest condition replaces the earlier one, except that a bad line is not turned back
// into a mere time-out.

namespace vesk::link {

// After a reply time-out: 0x04, unless the line is already recorded as bad (0x08).
void RecordTimeout();
// After any reply: a time-out recorded earlier means the line works only now and then,
// so 0x04 becomes 0x08.
void RecordReply();
// Line trouble (a line error, a spoilt or malformed answer, a lost port): 0x08.
void RecordBadLine();
// The device refused the request with an error reply: 0x10.
void RecordDeviceError();

}  // namespace vesk::link
