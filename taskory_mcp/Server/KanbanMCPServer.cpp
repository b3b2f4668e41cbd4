// The request loop lives here.
