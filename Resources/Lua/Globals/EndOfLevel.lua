-- Runs when the state changes, before the level and its objects are
-- deleted. Nothing held from the level may be used after this.
PLAYER_LIST = {}
