"""The binding generator: one model of the interface, one emitter per language."""
