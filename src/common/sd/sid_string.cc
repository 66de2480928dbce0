// SID text forms.
