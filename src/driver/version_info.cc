// The program identity.
