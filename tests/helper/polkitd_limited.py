'''polkitd whose yes runs out

Loaded into the polkitd mock at run time (AddTemplate): the first `yes`
checks of an allowed action are authorised, every later check is refused.
'''

import dbus

MAIN_IFACE = 'org.freedesktop.PolicyKit1.Authority'


def load(mock, parameters):
    mock.yes_left = int(parameters.get('yes', 0))


@dbus.service.method(MAIN_IFACE,
                     in_signature='(sa{sv})sa{ss}us',
                     out_signature='(bba{ss})')
def CheckAuthorization(self, _subject, action_id, _details, _flags, _cancellation_id):
    allowed = (action_id in self.allowed or self.allow_unknown) and self.yes_left > 0
    if allowed:
        self.yes_left -= 1
    return (allowed, False, {})
