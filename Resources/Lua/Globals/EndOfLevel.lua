-- Runs when the state changes, before the level, its objects and its
-- components are deleted. Nothing held from the level may be used after
-- this, so the player list is emptied here.
PLAYER_LIST = {}
