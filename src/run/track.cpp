// placeholder: filled in with its subsystem
